#include "sv.MainThread.h"

#include "sv.Exceptions.h"

#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>

namespace MainThread {
namespace {

// State shared by the waiting caller and the step posted to the main thread.
struct SyncCall {
    std::mutex Mutex;
    std::condition_variable Changed;
    bool Started = false;
    bool Done = false;
    bool Abandoned = false;
    std::exception_ptr Error;
};

QCoreApplication &Application() {
    QCoreApplication *app = QCoreApplication::instance();
    if (app == nullptr) {
        throw Exception(QStringLiteral("No application object: cannot reach the main thread"));
    }
    return *app;
}

} // namespace

bool IsMainThread() {
    const QCoreApplication *app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

void Synchronize(const std::function<void()> &step) {
    Synchronize(step, [] { return false; });
}

bool Synchronize(const std::function<void()> &step, const std::function<bool()> &abandon) {
    if (IsMainThread()) {
        step();
        return true;
    }
    auto call = std::make_shared<SyncCall>();
    QMetaObject::invokeMethod(
        &Application(),
        [call, step] {
            {
                const std::lock_guard lock(call->Mutex);
                if (call->Abandoned) {
                    return;
                }
                call->Started = true;
            }
            std::exception_ptr error;
            try {
                step();
            } catch (...) {
                error = std::current_exception();
            }
            const std::lock_guard lock(call->Mutex);
            call->Error = error;
            call->Done = true;
            call->Changed.notify_all();
        },
        Qt::QueuedConnection);

    std::unique_lock lock(call->Mutex);
    while (!call->Done) {
        if (!call->Started && abandon()) {
            call->Abandoned = true;
            return false;
        }
        call->Changed.wait_for(lock, std::chrono::milliseconds(10));
    }
    if (call->Error) {
        std::rethrow_exception(call->Error);
    }
    return true;
}

void Queue(std::function<void()> step, QObject *context) {
    if (IsMainThread()) {
        step();
        return;
    }
    QObject *receiver = context != nullptr ? context : &Application();
    QMetaObject::invokeMethod(receiver, std::move(step), Qt::QueuedConnection);
}

} // namespace MainThread
