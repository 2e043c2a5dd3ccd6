#include "sv.TaskPool.h"

#include "sv.Exceptions.h"

#include <QString>

#include <algorithm>
#include <chrono>
#include <exception>
#include <utility>

// One task's state, shared by its handles and the worker that runs it.
class TTaskState final {
public:
    explicit TTaskState(std::function<void()> procedure) : FProcedure(std::move(procedure)) {}

    // Runs the procedure unless the task was cancelled before it began.
    void Execute() {
        std::function<void()> procedure;
        {
            const std::lock_guard lock(FMutex);
            if (FPhase != TPhase::PENDING) {
                return;
            }
            FPhase = TPhase::RUNNING;
            procedure = std::move(FProcedure);
            FProcedure = nullptr;
        }
        QString error;
        bool faulted = false;
        try {
            procedure();
        } catch (const Exception &e) {
            faulted = true;
            error = e.Message();
        } catch (const std::exception &e) {
            faulted = true;
            error = QString::fromLocal8Bit(e.what());
        } catch (...) {
            faulted = true;
            error = QStringLiteral("Unknown error");
        }
        // What the procedure holds is released before its end is announced.
        procedure = nullptr;
        {
            const std::lock_guard lock(FMutex);
            FError = error;
            if (FCancelRequested) {
                FPhase = TPhase::CANCELLED;
            } else {
                FPhase = faulted ? TPhase::FAULTED : TPhase::DONE;
            }
        }
        FEnded.notify_all();
    }

    bool Wait(int timeoutMs) {
        std::unique_lock lock(FMutex);
        const bool ended =
            FEnded.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)), [this] {
                return FPhase != TPhase::PENDING && FPhase != TPhase::RUNNING;
            });
        if (!ended) {
            return false;
        }
        if (FPhase == TPhase::CANCELLED) {
            throw Exception(QStringLiteral("Cancelled"));
        }
        if (FPhase == TPhase::FAULTED) {
            throw Exception(FError);
        }
        return true;
    }

    void Cancel() {
        std::function<void()> dropped;
        {
            const std::lock_guard lock(FMutex);
            if (FPhase == TPhase::PENDING) {
                FPhase = TPhase::CANCELLED;
                dropped = std::move(FProcedure);
                FProcedure = nullptr;
            } else if (FPhase == TPhase::RUNNING) {
                FCancelRequested = true;
                return;
            } else {
                return;
            }
        }
        FEnded.notify_all();
        // dropped releases what the procedure held, outside the lock.
    }

private:
    enum class TPhase { PENDING, RUNNING, DONE, CANCELLED, FAULTED };

    std::mutex FMutex;
    std::condition_variable FEnded;
    TPhase FPhase = TPhase::PENDING;
    bool FCancelRequested = false;
    std::function<void()> FProcedure;
    QString FError;
};

TTaskHandle::TTaskHandle(std::shared_ptr<TTaskState> state) : FState(std::move(state)) {}

bool TTaskHandle::Wait(int timeoutMs) const {
    if (!FState) {
        throw Exception(QStringLiteral("No task"));
    }
    return FState->Wait(timeoutMs);
}

void TTaskHandle::Cancel() const {
    if (FState) {
        FState->Cancel();
    }
}

TTaskPool::TTaskPool(int minWorkers, int maxWorkers)
    : FMaxWorkers(std::max({maxWorkers, minWorkers, 1})) {
    const std::lock_guard lock(FMutex);
    for (int i = 0; i < std::max(minWorkers, 1); ++i) {
        add_worker();
    }
}

TTaskPool::~TTaskPool() {
    std::deque<std::shared_ptr<TTaskState>> pending;
    {
        const std::lock_guard lock(FMutex);
        FStopping = true;
        pending.swap(FQueue);
    }
    FWake.notify_all();
    for (const auto &task : pending) {
        task->Cancel();
    }
    // No worker is added once FStopping is set, so the list is stable here.
    for (auto &worker : FWorkers) {
        worker.join();
    }
}

TTaskPool &TTaskPool::Shared() {
    // Deliberately never destroyed (see the module comment).
    static TTaskPool *const pool = [] {
        const int processors = static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
        const int minimum = processors >= 8 ? processors / 4 : 2;
        return new TTaskPool(minimum, 25 * processors);
    }();
    return *pool;
}

TTaskHandle TTaskPool::Run(std::function<void()> procedure) {
    auto state = std::make_shared<TTaskState>(std::move(procedure));
    {
        const std::lock_guard lock(FMutex);
        if (FStopping) {
            state->Cancel();
            return TTaskHandle(state);
        }
        FQueue.push_back(state);
        if (static_cast<int>(FQueue.size()) > FIdle &&
            static_cast<int>(FWorkers.size()) < FMaxWorkers) {
            try {
                add_worker();
            } catch (const std::system_error &) {
                // No thread to spare: the task waits for a worker that is there.
            }
        }
    }
    FWake.notify_one();
    return TTaskHandle(state);
}

int TTaskPool::WorkerCount() const {
    const std::lock_guard lock(FMutex);
    return static_cast<int>(FWorkers.size());
}

void TTaskPool::add_worker() {
    FWorkers.emplace_back([this] { worker_loop(); });
}

void TTaskPool::worker_loop() {
    for (;;) {
        std::shared_ptr<TTaskState> task;
        {
            std::unique_lock lock(FMutex);
            ++FIdle;
            FWake.wait(lock, [this] { return FStopping || !FQueue.empty(); });
            --FIdle;
            if (FQueue.empty()) {
                return; // stopping
            }
            task = std::move(FQueue.front());
            FQueue.pop_front();
        }
        task->Execute();
    }
}
