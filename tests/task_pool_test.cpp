// The task pool's contract: handles returned at once, waits with a time limit,
// cancellation before and during a run, escaped errors, and growth while workers
// are blocked.
#include "sv.Exceptions.h"
#include "sv.TaskPool.h"

#include "support/PipelineFakes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace {

QString WaitError(const TTaskHandle &task, int timeoutMs = 60000) {
    try {
        task.Wait(timeoutMs);
    } catch (const Exception &e) {
        return e.Message();
    }
    return QStringLiteral("(no error)");
}

TEST(TaskPool, WaitReturnsTrueOnceTheTaskEndedAndFalseOnTimeout) {
    TTaskPool pool(2, 4);
    auto gate = std::make_shared<TGate>();
    std::atomic<bool> ran = false;
    const TTaskHandle task = pool.Run([&] {
        gate->Pass();
        ran = true;
    });
    EXPECT_FALSE(task.Wait(50));
    gate->Open();
    EXPECT_TRUE(task.Wait(60000));
    EXPECT_TRUE(ran);
    EXPECT_TRUE(task.Wait(0)); // already ended: at once
}

TEST(TaskPool, HowATaskEnds) {
    TTaskPool pool(1, 1); // one worker, so a second task waits its turn
    auto gate = std::make_shared<TGate>();
    std::atomic<bool> blockerDone = false;
    std::atomic<bool> pendingRan = false;

    // Cancelled while running: runs to its end, then ends cancelled.
    auto started = std::make_shared<TGate>();
    const TTaskHandle running = pool.Run([&] {
        started->Open();
        gate->Pass();
        blockerDone = true;
    });
    // Cancelled before it began: never runs.
    const TTaskHandle pending = pool.Run([&] { pendingRan = true; });
    ASSERT_TRUE(started->Pass());
    pending.Cancel();
    running.Cancel();
    EXPECT_EQ(WaitError(pending), QStringLiteral("Cancelled"));
    gate->Open();
    EXPECT_EQ(WaitError(running), QStringLiteral("Cancelled"));
    EXPECT_TRUE(blockerDone);
    EXPECT_FALSE(pendingRan);

    // An error that escapes the procedure fails the wait with its message.
    const TTaskHandle failing = pool.Run([] { throw Exception(QStringLiteral("boom")); });
    EXPECT_EQ(WaitError(failing), QStringLiteral("boom"));

    // Cancelling an ended task changes nothing.
    const TTaskHandle done = pool.Run([] {});
    EXPECT_TRUE(done.Wait(60000));
    done.Cancel();
    EXPECT_TRUE(done.Wait(0));

    // An empty handle has no task to wait for.
    EXPECT_NE(WaitError(TTaskHandle()), QStringLiteral("(no error)"));
}

TEST(TaskPool, BlockedWorkersDoNotStarveNewTasks) {
    TTaskPool pool(2, 16);
    auto gate = std::make_shared<TGate>();
    std::vector<TTaskHandle> waiting;
    waiting.reserve(6);
    for (int i = 0; i < 6; ++i) {
        waiting.push_back(pool.Run([gate] { gate->Pass(); }));
    }
    std::atomic<bool> downloaded = false;
    const TTaskHandle download = pool.Run([&] { downloaded = true; });
    EXPECT_TRUE(download.Wait(60000)); // while six tasks still wait
    EXPECT_TRUE(downloaded);
    EXPECT_GE(pool.WorkerCount(), 7);
    gate->Open();
    for (const auto &task : waiting) {
        EXPECT_TRUE(task.Wait(60000));
    }
}

TEST(TaskPool, DroppingTheHandleDoesNotStopTheTask) {
    auto gate = std::make_shared<TGate>();
    auto finished = std::make_shared<TGate>();
    TTaskPool::Shared().Run([gate, finished] {
        gate->Pass();
        finished->Open();
    });
    gate->Open();
    EXPECT_TRUE(finished->Pass());
}

TEST(TaskPool, DestructionCancelsTasksNotBegunAndWaitsForRunningOnes) {
    auto gate = std::make_shared<TGate>();
    std::atomic<bool> runningEnded = false;
    auto started = std::make_shared<TGate>();
    TTaskHandle pending;
    {
        TTaskPool pool(1, 1);
        pool.Run([&] {
            started->Open();
            gate->Pass(200);
            runningEnded = true;
        });
        pending = pool.Run([] {});
        ASSERT_TRUE(started->Pass());
    }
    EXPECT_TRUE(runningEnded);
    EXPECT_EQ(WaitError(pending), QStringLiteral("Cancelled"));
}

} // namespace
