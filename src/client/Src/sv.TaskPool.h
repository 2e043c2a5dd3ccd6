// sv.TaskPool: the process-wide pool of worker threads that runs the pipeline's
// background tasks, and the handles of those tasks.
//  - Run starts a procedure on a worker and returns its handle at once; dropping the
//    handle does not stop the task.
//  - Wait(ms) returns true once the task has ended (at once if it already had) and
//    false when the time runs out; it raises an Exception when the task ended
//    cancelled ("Cancelled") or with an error that escaped its procedure (that
//    error's message).
//  - Cancel: a task that has not begun never runs and ends cancelled; a running one
//    runs to its end and then ends cancelled; an ended one is left as it is.
// Threads: Run, Wait and Cancel from any thread. A task that is queued while no
// worker is idle gets a new worker (up to the maximum), so tasks blocked in waits
// never keep other tasks from running. The process-wide pool is never destroyed: the
// program's exit does not join workers that are still blocked in the network.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

class TTaskState;

class TTaskHandle final {
public:
    TTaskHandle() = default;

    [[nodiscard]] explicit operator bool() const noexcept { return FState != nullptr; }
    // Raises an Exception for an empty handle as well.
    bool Wait(int timeoutMs) const;
    void Cancel() const;

private:
    friend class TTaskPool;
    explicit TTaskHandle(std::shared_ptr<TTaskState> state);

    std::shared_ptr<TTaskState> FState;
};

class TTaskPool final {
public:
    // minWorkers are started at once and kept; more are added on demand up to maxWorkers.
    TTaskPool(int minWorkers, int maxWorkers);
    // Cancels the tasks that have not begun and waits for the running ones.
    ~TTaskPool();
    TTaskPool(const TTaskPool &) = delete;
    TTaskPool &operator=(const TTaskPool &) = delete;

    // The process-wide pool: at least two workers (a quarter of the processors when
    // there are eight or more), at most 25 per processor.
    static TTaskPool &Shared();

    TTaskHandle Run(std::function<void()> procedure);
    [[nodiscard]] int WorkerCount() const;

private:
    void add_worker();
    void worker_loop();

    const int FMaxWorkers;
    mutable std::mutex FMutex;
    std::condition_variable FWake;
    std::deque<std::shared_ptr<TTaskState>> FQueue;
    std::list<std::thread> FWorkers;
    int FIdle = 0;
    bool FStopping = false;
};
