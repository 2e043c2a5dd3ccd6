// The downloader and the retriever over fake send-text and download functions:
// readings from start to end, every failure row, replacing a reading, and
// releasing the retriever while its tasks still wait.
#include "sv.Downloader.h"
#include "sv.Exceptions.h"
#include "sv.Retriever.h"

#include "support/PipelineFakes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

namespace {

using Kind = TRetriever::TActionKind;

// A scripted speech service: text -> playlist, or a failure for the text "fail".
class TFakeSendText {
public:
    void Playlist(const QString &text, const QStringList &urls) {
        const std::lock_guard lock(FMutex);
        FPlaylists[text] = urls;
    }
    // Opened as soon as send-text is called with this text.
    void Signal(const QString &text, std::shared_ptr<TGate> gate) {
        const std::lock_guard lock(FMutex);
        FSignals[text] = std::move(gate);
    }
    TSendTextInfo Last() {
        const std::lock_guard lock(FMutex);
        return FLast;
    }
    TSendTextFunction Function() {
        return [this](const TSendTextInfo &info) {
            std::shared_ptr<TGate> signal;
            QStringList urls;
            {
                const std::lock_guard lock(FMutex);
                FLast = info;
                signal = FSignals[info.Text];
                urls = FPlaylists[info.Text];
            }
            if (signal) {
                signal->Open();
            }
            if (info.Text == u"fail") {
                throw Exception(QStringLiteral("HTTP/1.1 500 Internal Server Error"));
            }
            return urls;
        };
    }

private:
    std::mutex FMutex;
    std::map<QString, QStringList> FPlaylists;
    std::map<QString, std::shared_ptr<TGate>> FSignals;
    TSendTextInfo FLast{QString(), QString()};
};

QStringList Urls(const QString &name, int n) {
    QStringList urls;
    for (int i = 0; i < n; ++i) {
        urls << QStringLiteral("https://h/snd/%1%2.mp3").arg(name).arg(i);
    }
    return urls;
}

class PipelineTest : public ::testing::Test {
protected:
    QString Folder() const { return FDir.path() + QStringLiteral("/svk/"); }
    QString PathOf(const QString &name, int k) const {
        return Folder() + QStringLiteral("%1%2.mp3").arg(name).arg(k);
    }

    std::shared_ptr<TDownloader> MakeDownloader(int cancelWaitMs = 100) {
        TPlaylistQueueOptions options;
        options.PartWaitMs = 60000;
        options.CancelWaitMs = cancelWaitMs;
        options.OnConsumerWaits = [waiting = FConsumerWaits](std::int32_t) { waiting->Open(); };
        // The send-text fake outlives every task: it is a member of the fixture and
        // the tests end only after their tasks have let go of the downloader.
        return std::make_shared<TDownloader>(Folder(), FSendText.Function(), FFake->Procedure(),
                                             options);
    }

    void MakeRetriever(std::optional<Kind> throwOn = {}, int cancelWaitMs = 100) {
        FDownloader = MakeDownloader(cancelWaitMs);
        FRetriever = std::make_unique<TRetriever>(FDownloader, FActions->Callback(throwOn));
    }

    void ExpectAction(Kind kind, const QString &text) {
        const auto action = FActions->Next();
        ASSERT_TRUE(action.has_value()) << "no action";
        EXPECT_EQ(action->first, kind);
        EXPECT_EQ(action->second, text);
    }

    void TearDown() override {
        FRetriever.reset();
        if (FDownloader) {
            EXPECT_TRUE(WaitSoleOwner(FDownloader)); // every task has ended
        }
        FDownloader.reset();
    }

    QTemporaryDir FDir;
    TFakeSendText FSendText;
    std::shared_ptr<TFakeDownloads> FFake = TFakeDownloads::Create();
    std::shared_ptr<TActionLog> FActions = TActionLog::Create();
    std::shared_ptr<TDownloader> FDownloader;
    std::unique_ptr<TRetriever> FRetriever;
    // Opened when a consumer first waits inside a queue.
    std::shared_ptr<TGate> FConsumerWaits = std::make_shared<TGate>();
};

// ---- downloader ----

TEST_F(PipelineTest, DownloaderPassesTextAndSpeed) {
    FSendText.Playlist(QStringLiteral("Hej"), Urls(QStringLiteral("a"), 1));
    auto downloader = MakeDownloader();
    downloader->Start(QStringLiteral("Hej"), 10);
    EXPECT_EQ(FSendText.Last().Text, QStringLiteral("Hej"));
    EXPECT_EQ(FSendText.Last().Speed, QStringLiteral("10"));
    EXPECT_EQ(downloader->Next().LocalPath, PathOf(QStringLiteral("a"), 0));
}

TEST_F(PipelineTest, DownloaderFailures) {
    auto downloader = MakeDownloader();
    const auto nextError = [&] {
        try {
            downloader->Next();
        } catch (const Exception &e) {
            return e.Message();
        }
        return QStringLiteral("(no error)");
    };
    const QString noTask = QStringLiteral("There is no downloading task");
    EXPECT_EQ(nextError(), noTask); // before any Start

    FSendText.Playlist(QStringLiteral("ok"), Urls(QStringLiteral("a"), 2));
    downloader->Start(QStringLiteral("ok"), 5);
    EXPECT_EQ(downloader->Next().Status, TPlaylistQueueStatus::SUCCESS);
    try {
        downloader->Start(QStringLiteral("fail"), 5);
        ADD_FAILURE() << "no error";
    } catch (const Exception &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("HTTP/1.1 500 Internal Server Error"));
    }
    EXPECT_EQ(nextError(), noTask); // the old queue is gone too

    downloader->Start(QStringLiteral("empty"), 5);
    const TPlaylistLocalFile end = downloader->Next();
    EXPECT_EQ(end.Status, TPlaylistQueueStatus::NO_MORE_FILES);
    EXPECT_EQ(end.PartIndex0, 0);

    try {
        TDownloader bad(QStringLiteral("x") + QChar(u'\0'), FSendText.Function(),
                        FFake->Procedure());
        ADD_FAILURE() << "no error";
    } catch (const Exception &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Invalid characters in path"));
    }
}

TEST_F(PipelineTest, SecondStartTurnsAWaitingNextIntoCancelled) {
    auto gate = std::make_shared<TGate>();
    FSendText.Playlist(QStringLiteral("A"), Urls(QStringLiteral("a"), 3));
    FSendText.Playlist(QStringLiteral("B"), Urls(QStringLiteral("b"), 3));
    FFake->Script(Urls(QStringLiteral("a"), 1)[0], {0, QString(), gate});
    auto downloader = MakeDownloader();
    downloader->Start(QStringLiteral("A"), 5);
    TPlaylistLocalFile first;
    std::thread consumer([&] { first = downloader->Next(); });
    ASSERT_TRUE(FConsumerWaits->Pass()); // the consumer waits inside the first queue
    downloader->Start(QStringLiteral("B"), 5);
    gate->Open();
    consumer.join();
    EXPECT_EQ(first.Status, TPlaylistQueueStatus::CANCELLED);
    EXPECT_EQ(downloader->Next().LocalPath, PathOf(QStringLiteral("b"), 0));
}

TEST_F(PipelineTest, DestroyingTheDownloaderCancelsItsQueue) {
    auto gate = std::make_shared<TGate>();
    FSendText.Playlist(QStringLiteral("A"), Urls(QStringLiteral("a"), 6));
    FFake->Script(Urls(QStringLiteral("a"), 1)[0], {0, QString(), gate});
    auto downloader = MakeDownloader();
    downloader->Start(QStringLiteral("A"), 5);
    ASSERT_TRUE(FFake->WaitStarted(1));
    downloader.reset();
    gate->Open();
    EXPECT_TRUE(FFake->WaitFinished(1));
    EXPECT_TRUE(WaitSoleOwner(FFake));
    // A live queue would have started part 2 at the end of part 0.
    EXPECT_EQ(FFake->Finished(), 1);
}

// ---- retriever ----

TEST_F(PipelineTest, ReadingToTheEnd) {
    FSendText.Playlist(QStringLiteral("A"), Urls(QStringLiteral("a"), 3));
    MakeRetriever();
    FRetriever->Start(QStringLiteral("A"), 5);
    ExpectAction(Kind::PLAY_FILE, PathOf(QStringLiteral("a"), 0));
    for (int k = 1; k < 3; ++k) {
        FRetriever->StartToPlayNextFile();
        ExpectAction(Kind::PLAY_FILE, PathOf(QStringLiteral("a"), k));
    }
    for (int i = 0; i < 3; ++i) {
        FRetriever->StartToPlayNextFile();
        ExpectAction(Kind::PLAY_IS_DONE, QString());
    }
}

TEST_F(PipelineTest, EmptyPlaylistIsDoneAtOnce) {
    MakeRetriever();
    FRetriever->Start(QStringLiteral("nothing"), 5);
    ExpectAction(Kind::PLAY_IS_DONE, QString());
}

TEST_F(PipelineTest, FailedPartsAreSkipped) {
    const QStringList urls = Urls(QStringLiteral("a"), 5);
    FSendText.Playlist(QStringLiteral("A"), urls);
    FFake->Script(urls[2], {0, QStringLiteral("gone"), nullptr});
    FFake->Script(urls[3], {0, QStringLiteral("gone"), nullptr});
    MakeRetriever();
    FRetriever->Start(QStringLiteral("A"), 5);
    ExpectAction(Kind::PLAY_FILE, PathOf(QStringLiteral("a"), 0));
    FRetriever->StartToPlayNextFile();
    ExpectAction(Kind::PLAY_FILE, PathOf(QStringLiteral("a"), 1));
    FRetriever->StartToPlayNextFile();
    ExpectAction(Kind::PLAY_FILE, PathOf(QStringLiteral("a"), 4));
}

TEST_F(PipelineTest, AtMost101CallsPastFailedParts) {
    const struct {
        int Failing;
        Kind Expected;
        QString Text;
    } cases[] = {
        {100, Kind::PLAY_FILE, QString()}, // the 101st call gets the good part
        {101, Kind::ERROR, QStringLiteral("create_and_run_task: gone")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Failing);
        FFake = TFakeDownloads::Create();
        const QString name = QStringLiteral("f%1_").arg(c.Failing);
        const QStringList urls = Urls(name, c.Failing + 1);
        for (int k = 0; k < c.Failing; ++k) {
            FFake->Script(urls[k], {0, QStringLiteral("gone"), nullptr});
        }
        FSendText.Playlist(name, urls);
        MakeRetriever();
        FRetriever->Start(name, 5);
        ExpectAction(c.Expected, c.Expected == Kind::PLAY_FILE ? PathOf(name, c.Failing) : c.Text);
        TearDown();
    }
}

TEST_F(PipelineTest, RetrieverFailures) {
    MakeRetriever();
    const QString noTask = QStringLiteral("There is no downloading task");
    FRetriever->StartToPlayNextFile(); // before any Start
    ExpectAction(Kind::ERROR, noTask);
    FRetriever->Start(QStringLiteral("fail"), 5); // the playlist request fails
    ExpectAction(Kind::ERROR, QStringLiteral("HTTP/1.1 500 Internal Server Error"));
    FRetriever->StartToPlayNextFile(); // no queue remains
    ExpectAction(Kind::ERROR, noTask);
}

TEST_F(PipelineTest, FailingActionIsCalledAgainWithTheError) {
    FSendText.Playlist(QStringLiteral("A"), Urls(QStringLiteral("a"), 1));
    MakeRetriever(Kind::PLAY_FILE);
    FRetriever->Start(QStringLiteral("A"), 5);
    ExpectAction(Kind::PLAY_FILE, PathOf(QStringLiteral("a"), 0));
    ExpectAction(Kind::ERROR, QStringLiteral("receiver failed"));
}

TEST_F(PipelineTest, SecondStartWhileTheFirstReadingWaits) {
    auto gate = std::make_shared<TGate>();
    auto sendingB = std::make_shared<TGate>();
    FSendText.Playlist(QStringLiteral("A"), Urls(QStringLiteral("a"), 3));
    FSendText.Playlist(QStringLiteral("B"), Urls(QStringLiteral("b"), 3));
    FSendText.Signal(QStringLiteral("B"), sendingB);
    FFake->Script(Urls(QStringLiteral("a"), 1)[0], {0, QString(), gate});
    MakeRetriever();
    FRetriever->Start(QStringLiteral("A"), 5);
    ASSERT_TRUE(FConsumerWaits->Pass()); // the first reading waits for its part 0
    FRetriever->Start(QStringLiteral("B"), 5);
    ASSERT_TRUE(sendingB->Pass()); // the first queue is cancelled by now
    gate->Open();
    ExpectAction(Kind::PLAY_FILE, PathOf(QStringLiteral("b"), 0));
    FRetriever->StartToPlayNextFile();
    ExpectAction(Kind::PLAY_FILE, PathOf(QStringLiteral("b"), 1));
    EXPECT_EQ(FActions->Count(), 2); // the first reading reported nothing
}

TEST_F(PipelineTest, ReleasingTheRetrieverWhileATaskWaits) {
    auto gate = std::make_shared<TGate>();
    const QStringList urls = Urls(QStringLiteral("a"), 4);
    FSendText.Playlist(QStringLiteral("A"), urls);
    FFake->Script(urls[0], {0, QString(), gate});
    FFake->Script(urls[2], {0, QString(), gate});
    MakeRetriever({}, 60000); // a waiting release would take a minute per download
    FRetriever->Start(QStringLiteral("A"), 5);
    ASSERT_TRUE(FConsumerWaits->Pass());
    ASSERT_TRUE(FFake->WaitStarted(1));
    const auto t0 = std::chrono::steady_clock::now();
    FRetriever.reset(); // returns although the task still waits and part 0 still downloads
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(30));
    gate->Open();
    EXPECT_TRUE(WaitSoleOwner(FDownloader)); // the task has ended and let go
    EXPECT_EQ(FActions->Count(), 0);         // its late outcome was dropped
    EXPECT_EQ(FFake->Finished(), 1);         // the cancelled queue started nothing more
}

// A downloader that hands out one scripted record, for the dispatch table.
class TOneRecordDownloader final : public IDownloader {
public:
    explicit TOneRecordDownloader(TPlaylistLocalFile record) : FRecord(std::move(record)) {}
    void Start(const QString &, std::int32_t) override {}
    TPlaylistLocalFile Next() override {
        ++FCalls;
        return FRecord;
    }
    void CancelAtOnce() override {}

    std::atomic<int> FCalls = 0;

private:
    TPlaylistLocalFile FRecord;
};

TEST(RetrieverDispatch, OneActionPerOutcome) {
    const struct {
        TPlaylistQueueStatus Status;
        int Calls; // of Next
        int Actions;
        Kind Expected;
        QString Text;
    } cases[] = {
        {TPlaylistQueueStatus::SUCCESS, 1, 1, Kind::PLAY_FILE, QStringLiteral("/svk/x.mp3")},
        {TPlaylistQueueStatus::NO_MORE_FILES, 1, 1, Kind::PLAY_IS_DONE, QString()},
        {TPlaylistQueueStatus::FAIL, 101, 1, Kind::ERROR, QStringLiteral("why")},
        {TPlaylistQueueStatus::NOT_READY, 1, 1, Kind::ERROR, QStringLiteral("Internal error")},
        {TPlaylistQueueStatus::CANCELLED, 1, 0, Kind::ERROR, QString()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Status));
        TPlaylistLocalFile record;
        record.Status = c.Status;
        record.LocalPath = QStringLiteral("/svk/x.mp3");
        record.ErrorMessage = QStringLiteral("why");
        auto downloader = std::make_shared<TOneRecordDownloader>(record);
        auto actions = TActionLog::Create();
        {
            TRetriever retriever(downloader, actions->Callback());
            retriever.StartToPlayNextFile();
            ASSERT_TRUE(WaitUntil(
                [&] { return downloader->FCalls == c.Calls && actions->Count() >= c.Actions; }));
        }
        EXPECT_TRUE(WaitSoleOwner(downloader));
        EXPECT_EQ(downloader->FCalls, c.Calls);
        ASSERT_EQ(actions->Count(), c.Actions);
        if (c.Actions == 1) {
            const auto action = actions->Next();
            EXPECT_EQ(action->first, c.Expected);
            EXPECT_EQ(action->second, c.Text);
        }
    }
}

} // namespace
