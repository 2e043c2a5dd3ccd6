// sv.RequestsToServer: the three requests to the speech service, as class-level
// operations without state. Each request makes its own client through the given
// factory function and frees it (and everything else it made) on every path, so
// requests may run at the same time on different threads: GetUniqueID on the main
// thread, SendText and GetSoundFile on pool threads.
#pragma once

#include "sv.HttpCreator.h"

#include <QString>
#include <QStringList>

class TRequestsToServer final {
public:
    TRequestsToServer() = delete;

    // A new client id from serverName + "getuniqueid.wq"; empty text on any error.
    [[nodiscard]] static QString GetUniqueID(const THttpCreatorFunction &httpCreator,
                                             const QString &serverName);
    // The playlist for a text: the answer of serverName + "getplaylist.wq" split at
    // every ",". Errors pass to the caller.
    [[nodiscard]] static QStringList SendText(const THttpCreatorFunction &httpCreator,
                                              const QString &serverName, const QString &text,
                                              const QString &appId, const QString &speed,
                                              const QString &pitch, const QString &osVersion);
    // Downloads url into destPath (created or emptied, held without sharing while
    // written; the body streams into it). Errors are logged and passed on.
    static void GetSoundFile(const THttpCreatorFunction &httpCreator, const QString &url,
                             const QString &destPath);
};
