// The playlist queue: the prefetch schedule, time-outs, failures, local file
// names, cancellation and destruction while downloads still run.
#include "sv.Exceptions.h"
#include "sv.PlaylistQueue.h"

#include "support/PipelineFakes.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace {

QStringList Urls(int n, const QString &host = QStringLiteral("h")) {
    QStringList urls;
    for (int i = 0; i < n; ++i) {
        urls << QStringLiteral("https://%1/snd/part%2.mp3").arg(host).arg(i);
    }
    return urls;
}

// Records the order in which parts are started.
struct TStartLog {
    std::mutex Mutex;
    std::vector<int> Started;

    std::function<void(std::int32_t)> Observer() {
        return [this](std::int32_t k) {
            const std::lock_guard lock(Mutex);
            Started.push_back(k);
        };
    }
    std::vector<int> Get() {
        const std::lock_guard lock(Mutex);
        return Started;
    }
};

class PlaylistQueueTest : public ::testing::Test {
protected:
    QString Folder() const { return FDir.path() + QStringLiteral("/svk/"); }

    std::unique_ptr<TPlaylistQueue> Make(const QStringList &urls, int partWaitMs = 60000,
                                         int cancelWaitMs = 60000) {
        TPlaylistQueueOptions options;
        options.PartWaitMs = partWaitMs;
        options.CancelWaitMs = cancelWaitMs;
        options.OnTaskStarted = FStarts.Observer();
        return std::make_unique<TPlaylistQueue>(urls, Folder(), FFake->Procedure(), options);
    }

    QTemporaryDir FDir;
    std::shared_ptr<TFakeDownloads> FFake = TFakeDownloads::Create();
    TStartLog FStarts;
};

TEST_F(PlaylistQueueTest, ScheduleForSixInstantParts) {
    const QStringList urls = Urls(6);
    auto queue = Make(urls);
    for (int k = 0; k < 6; ++k) {
        const TPlaylistLocalFile file = queue->GetNextFileToPlay();
        EXPECT_EQ(file.Status, TPlaylistQueueStatus::SUCCESS) << k;
        EXPECT_EQ(file.PartIndex0, k);
        EXPECT_EQ(file.URL, urls[k]);
        EXPECT_EQ(file.LocalPath, Folder() + QStringLiteral("part%1.mp3").arg(k));
        EXPECT_TRUE(QFile::exists(file.LocalPath));
        EXPECT_TRUE(file.ErrorMessage.isEmpty());
    }
    EXPECT_EQ(FStarts.Get(), (std::vector<int>{0, 2, 1, 3, 4, 5}));
    for (int i = 0; i < 2; ++i) { // the same answer on every later call
        const TPlaylistLocalFile end = queue->GetNextFileToPlay();
        EXPECT_EQ(end.Status, TPlaylistQueueStatus::NO_MORE_FILES);
        EXPECT_EQ(end.PartIndex0, 6);
        EXPECT_TRUE(end.URL.isEmpty() && end.LocalPath.isEmpty());
    }
}

TEST_F(PlaylistQueueTest, NeverStartsMoreThanThreeAheadOfThePartHandedOut) {
    FFake->SetRandomDelay(8);
    std::atomic<int> begun = 0; // calls of GetNextFileToPlay begun
    std::atomic<int> worst = -100;
    TPlaylistQueueOptions options;
    options.OnTaskStarted = [&](std::int32_t k) {
        // FLastRetrievedFile <= begun - 1, so k may be at most begun + 2.
        const int margin = k - (begun + 2);
        int old = worst;
        while (margin > old && !worst.compare_exchange_weak(old, margin)) {
        }
    };
    TPlaylistQueue queue(Urls(40), Folder(), FFake->Procedure(), options);
    for (int k = 0; k < 40; ++k) {
        ++begun;
        EXPECT_EQ(queue.GetNextFileToPlay().Status, TPlaylistQueueStatus::SUCCESS);
    }
    EXPECT_LE(worst, 0);
    EXPECT_LE(FFake->Peak(), 3);
}

TEST_F(PlaylistQueueTest, SlowPartTimesOutAndItsLateOutcome) {
    const struct {
        const char *Name;
        QString LateFailure;
        QString Stored; // what the part's record says after the late end
    } cases[] = {
        {"late success is not stored", QString(), QStringLiteral("Timeout")},
        {"late failure replaces the message", QStringLiteral("late"),
         QStringLiteral("create_and_run_task: late")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        FFake = TFakeDownloads::Create();
        const QStringList urls = Urls(3, QString::fromUtf8(c.Name).left(4));
        auto gate = std::make_shared<TGate>();
        FFake->Script(urls[1], {0, c.LateFailure, gate});
        auto queue = Make(urls, 1000);
        EXPECT_EQ(queue->GetNextFileToPlay().Status, TPlaylistQueueStatus::SUCCESS);
        const TPlaylistLocalFile slow = queue->GetNextFileToPlay();
        EXPECT_EQ(slow.Status, TPlaylistQueueStatus::FAIL);
        EXPECT_EQ(slow.ErrorMessage, QStringLiteral("Timeout"));
        EXPECT_EQ(slow.PartIndex0, 1);
        EXPECT_TRUE(slow.LocalPath.isEmpty());
        const TPlaylistLocalFile after = queue->GetNextFileToPlay();
        EXPECT_EQ(after.Status, TPlaylistQueueStatus::SUCCESS);
        EXPECT_EQ(after.PartIndex0, 2);
        gate->Open();
        queue->Cancel(); // waits for the late task's end
        EXPECT_EQ(queue->ResultOf(1).Status, TPlaylistQueueStatus::FAIL);
        EXPECT_EQ(queue->ResultOf(1).ErrorMessage, c.Stored);
    }
}

TEST_F(PlaylistQueueTest, FailuresOfParts) {
    const QStringList urls = {
        QStringLiteral("https://h/snd/good0.mp3"),
        QStringLiteral("https://h/snd/bad.mp3"), // the download fails
        QStringLiteral("https://h/snd/"),        // the path is the folder itself
        QStringLiteral(""),                      // no pieces: a GUID name; download fails
        QStringLiteral("https://h/snd/good4.mp3"),
    };
    FFake->Script(urls[1], {0, QStringLiteral("HTTP/1.1 404 Not Found"), nullptr});
    FFake->Script(urls[3], {0, QStringLiteral("empty URL"), nullptr});
    auto queue = Make(urls);
    const struct {
        TPlaylistQueueStatus Status;
        QString Message;
    } expected[] = {
        {TPlaylistQueueStatus::SUCCESS, QString()},
        {TPlaylistQueueStatus::FAIL, QStringLiteral("create_and_run_task: HTTP/1.1 404 Not Found")},
        {TPlaylistQueueStatus::FAIL,
         QStringLiteral("create_and_run_task: Cannot create file ") + Folder()},
        {TPlaylistQueueStatus::FAIL, QStringLiteral("create_and_run_task: empty URL")},
        {TPlaylistQueueStatus::SUCCESS, QString()},
    };
    for (int k = 0; k < 5; ++k) {
        SCOPED_TRACE(k);
        const TPlaylistLocalFile file = queue->GetNextFileToPlay();
        EXPECT_EQ(file.Status, expected[k].Status);
        EXPECT_EQ(file.ErrorMessage, expected[k].Message);
        EXPECT_EQ(file.URL, urls[k]);
        EXPECT_EQ(file.PartIndex0, k);
        EXPECT_EQ(file.LocalPath.isEmpty(), file.Status == TPlaylistQueueStatus::FAIL);
    }
    EXPECT_EQ(queue->GetNextFileToPlay().Status, TPlaylistQueueStatus::NO_MORE_FILES);
}

TEST_F(PlaylistQueueTest, EmptyPlaylistStartsNothing) {
    auto queue = Make({});
    for (int i = 0; i < 2; ++i) {
        const TPlaylistLocalFile end = queue->GetNextFileToPlay();
        EXPECT_EQ(end.Status, TPlaylistQueueStatus::NO_MORE_FILES);
        EXPECT_EQ(end.PartIndex0, 0);
    }
    EXPECT_TRUE(FStarts.Get().empty());
}

TEST_F(PlaylistQueueTest, FolderIsCreatedWithItsParentsOrCreationFails) {
    const QString deep = FDir.path() + QStringLiteral("/a/b/c");
    { TPlaylistQueue queue({}, deep, FFake->Procedure()); }
    EXPECT_TRUE(QDir(deep).exists());
    try {
        TPlaylistQueue queue(Urls(1), QStringLiteral("bad") + QChar(u'\0'), FFake->Procedure());
        ADD_FAILURE() << "no error";
    } catch (const Exception &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Invalid characters in path"));
    }
}

TEST_F(PlaylistQueueTest, PartCancelledBeforeItsTaskStarted) {
    auto gate = std::make_shared<TGate>();
    const QStringList urls = Urls(4);
    FFake->Script(urls[0], {0, QString(), gate});
    auto queue = Make(urls, 60000, 50);
    queue->Cancel();
    queue->Cancel(); // twice is harmless
    EXPECT_TRUE(queue->IsCanceled());
    gate->Open();
    EXPECT_EQ(queue->GetNextFileToPlay().ErrorMessage,
              QStringLiteral("Cancelled")); // part 0 ended cancelled
    const TPlaylistLocalFile never = queue->GetNextFileToPlay();
    EXPECT_EQ(never.Status, TPlaylistQueueStatus::FAIL);
    EXPECT_EQ(never.PartIndex0, 1);
    EXPECT_EQ(never.ErrorMessage, QStringLiteral("Cancelled"));
    EXPECT_EQ(FStarts.Get(), std::vector<int>{0});
    EXPECT_TRUE(queue->IsCanceled());
}

TEST_F(PlaylistQueueTest, DestroyedWhileADownloadRuns) {
    auto gate = std::make_shared<TGate>();
    const QStringList urls = Urls(5);
    FFake->Script(urls[0], {0, QString(), gate});
    auto queue = Make(urls, 60000, 50);
    ASSERT_TRUE(FFake->WaitStarted(1));
    queue.reset(); // waits 50 ms for the running download, then lets go
    gate->Open();
    EXPECT_TRUE(FFake->WaitFinished(1));
    EXPECT_TRUE(WaitSoleOwner(FFake));             // the task has ended and released everything
    EXPECT_EQ(FStarts.Get(), std::vector<int>{0}); // its end started nothing
}

TEST(PlaylistLocalPath, NamesFromUrls) {
    const QString folder = QStringLiteral("/tmp/svk/");
    const QString guid = QStringLiteral("GUID");
    const QString longName = QString(251, u'n') + QStringLiteral(".mp3");
    const struct {
        QString Url;
        QString Expected; // a path, or "GUID"
    } cases[] = {
        {QStringLiteral("https://h/f/name.mp3"), folder + QStringLiteral("name.mp3")},
        {QStringLiteral("https://h/f/ÆØÅ læs.mp3"), folder + QStringLiteral("ÆØÅ læs.mp3")},
        {QStringLiteral("https://h/f/con1.mp3"), folder + QStringLiteral("con1.mp3")},
        {QStringLiteral("https://h/f/") + longName, folder + longName},
        {QStringLiteral("https://h/f/"), folder},
        {QStringLiteral("https://h/name.mp3"), guid},
        {QStringLiteral("https://h/a/b/name.mp3"), guid},
        {QString(), guid},
        {QStringLiteral("https://h/f/.."), guid},
        {QStringLiteral("https://h/f/."), guid},
        {QStringLiteral("https://h/f/a\\..\\..\\x.mp3"), guid},
        {QStringLiteral("https://h/f/c:x.mp3"), guid},
        {QStringLiteral("https://h/f/a*b"), guid},
        {QStringLiteral("https://h/f/a?b"), guid},
        {QStringLiteral("https://h/f/a\"b"), guid},
        {QStringLiteral("https://h/f/a<b>"), guid},
        {QStringLiteral("https://h/f/a|b"), guid},
        {QStringLiteral("https://h/f/a\tb"), guid},
        {QStringLiteral("https://h/f/CON"), guid},
        {QStringLiteral("https://h/f/nul.mp3"), guid},
        {QStringLiteral("https://h/f/Com3.mp3"), guid},
        {QStringLiteral("https://h/f/lpt9"), guid},
        {QStringLiteral("https://h/f/n") + longName, guid}, // 256 bytes
    };
    const QRegularExpression guidName(QStringLiteral(
        "^/tmp/svk/\\{[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\}$"));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Url.toStdString());
        const QString path = PlaylistLocalPath(folder, c.Url);
        if (c.Expected == guid) {
            EXPECT_TRUE(guidName.match(path).hasMatch()) << path.toStdString();
        } else {
            EXPECT_EQ(path, c.Expected);
        }
    }
    // Joining: no separator added twice, none for an empty folder; same name, same file.
    EXPECT_EQ(PlaylistLocalPath(QStringLiteral("/tmp/svk"), QStringLiteral("https://h/f/a.mp3")),
              QStringLiteral("/tmp/svk/a.mp3"));
    EXPECT_EQ(PlaylistLocalPath(QString(), QStringLiteral("https://h/f/a.mp3")),
              QStringLiteral("a.mp3"));
    EXPECT_EQ(PlaylistLocalPath(folder, QStringLiteral("https://x/y/a.mp3")),
              PlaylistLocalPath(folder, QStringLiteral("https://h/f/a.mp3")));
    EXPECT_NE(PlaylistLocalPath(folder, QString()), PlaylistLocalPath(folder, QString()));
}

} // namespace
