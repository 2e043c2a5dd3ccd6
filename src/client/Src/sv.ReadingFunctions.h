// sv.ReadingFunctions: the functions the main window hands to the retrieval
// pipeline for the network: the HTTP client factory function, the send-text
// function and the get-sound-file function. They hold the client factory and the
// request values (client id, pitch, operating-system description) by shared
// ownership, so a pool thread that calls them late never meets a released window.
// Threads: SetRequestValues on the main thread; the functions on any thread; the
// values are read whole under a lock, never while the main thread replaces them.
#pragma once

#include "sv.Downloader.h"
#include "sv.HttpCreator.h"
#include "sv.PlaylistQueue.h"

#include <QString>

#include <memory>
#include <mutex>

// What the playlist request sends besides the text and the speed.
struct TRequestValues {
    QString AppUid;
    qint32 SoundPitch = 2;
    QString OSVersion;
};

class TReadingFunctions final {
public:
    TReadingFunctions(std::shared_ptr<THttpCreator> httpCreator, QString serverName);

    void SetRequestValues(const TRequestValues &values);

    [[nodiscard]] THttpCreatorFunction HttpCreatorFunction() const;
    [[nodiscard]] TSendTextFunction SendTextFunction() const;
    [[nodiscard]] TDownloadProcedure GetSoundFileFunction() const;

private:
    struct TShared {
        std::shared_ptr<THttpCreator> HttpCreator;
        QString ServerName;
        mutable std::mutex Lock;
        TRequestValues Values; // guarded by Lock
    };
    std::shared_ptr<TShared> FShared;
};

// The speech service's base URL: the environment variable SONAVIK_SERVICE_URL when
// it is set, otherwise the value compiled in.
[[nodiscard]] QString ServiceBaseUrl();
