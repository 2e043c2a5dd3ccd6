// sv.MainThread: hand-over of a step to the main (UI) thread.
//  - Synchronize: the caller waits until the main thread has run the step; an error
//    raised by the step is raised again in the caller. The overload with an abandon
//    test gives up while the step has not begun as soon as the test returns true
//    (polled every 10 ms), so a thread that is being stopped by the main thread never
//    waits for a main thread that waits for it.
//  - Queue: the step is posted to the main thread's queue and runs there later, in
//    posting order; with a context object it is dropped if that object is gone.
// Called on the main thread, both run the step at once. Both need a QCoreApplication.
#pragma once

#include <functional>

class QObject;

namespace MainThread {

[[nodiscard]] bool IsMainThread();
void Synchronize(const std::function<void()> &step);
bool Synchronize(const std::function<void()> &step, const std::function<bool()> &abandon);
void Queue(std::function<void()> step, QObject *context = nullptr);

} // namespace MainThread
