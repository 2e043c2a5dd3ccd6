#include "sv.RequestsToServer.h"

#include "http/HttpClient.h"
#include "http/HttpUrl.h"
#include "logfile.h"
#include "sv.AnsiText.h"
#include "sv.ExclusiveFile.h"

#include <QBuffer>
#include <QFileInfo>

QString TRequestsToServer::GetUniqueID(const THttpCreatorFunction &httpCreator,
                                       const QString &serverName) {
    LogLine(QStringLiteral("Result of GetUniqueID.start"));
    QString result;
    try {
        const std::unique_ptr<THttpClient> client = httpCreator();
        QByteArray request("reg=get");
        QBuffer body(&request);
        body.open(QIODevice::ReadOnly);
        QByteArray answer;
        QBuffer response(&answer);
        response.open(QIODevice::WriteOnly);
        client->Post(serverName + QStringLiteral("getuniqueid.wq"), body, response);
        result = AnsiToText(answer);
    } catch (const std::exception &error) {
        LogError(error, QStringLiteral("GetUniqueID"));
        result.clear();
    }
    LogLine(QStringLiteral("Result of GetUniqueID.end"));
    return result;
}

QStringList TRequestsToServer::SendText(const THttpCreatorFunction &httpCreator,
                                        const QString &serverName, const QString &text,
                                        const QString &appId, const QString &speed,
                                        const QString &pitch, const QString &osVersion) {
    LogLine(QStringLiteral("SendTextToServer: text=%1 clientid=%2 speed=%3 pitch=%4")
                .arg(text, appId, speed, pitch));
    const std::unique_ptr<THttpClient> client = httpCreator();
    const QStringList lines = {
        QStringLiteral("text=") + ParamsEncode(text),
        QStringLiteral("pitch=") + pitch,
        QStringLiteral("speed=") + speed,
        QStringLiteral("clientid=") + ParamsEncode(appId),
        QStringLiteral("system=") + ParamsEncode(osVersion),
    };
    LogLine(QStringLiteral("SendTextToServer: server=") + serverName);
    QByteArray answer;
    QBuffer response(&answer);
    response.open(QIODevice::WriteOnly);
    client->Post(serverName + QStringLiteral("getplaylist.wq"), lines, response);
    const QString body = AnsiToText(answer);
    LogLine(QStringLiteral("Result of SendTextToServer: ") + body);
    return body.isEmpty() ? QStringList() : body.split(u',');
}

void TRequestsToServer::GetSoundFile(const THttpCreatorFunction &httpCreator, const QString &url,
                                     const QString &destPath) {
    LogLine(QStringLiteral("Result of GetSoundFile.start: %1 %2").arg(url, destPath));
    try {
        {
            const std::unique_ptr<THttpClient> client = httpCreator();
            TExclusiveFile file(destPath);
            client->Get(url, [&file](const char *data, qint64 size) { file.Write(data, size); });
        }
        LogLine(QString::number(QFileInfo(destPath).size()));
        LogLine(QStringLiteral("Result of GetSoundFile.end: %1 %2").arg(url, destPath));
    } catch (const std::exception &error) {
        LogError(error, QStringLiteral("GetSoundFile"));
        throw;
    }
}
