#include "sv.ReadingFunctions.h"

#include "http/HttpClient.h"
#include "sv.BuildConfig.h"
#include "sv.RequestsToServer.h"

#include <utility>

TReadingFunctions::TReadingFunctions(std::shared_ptr<THttpCreator> httpCreator, QString serverName)
    : FShared(std::make_shared<TShared>()) {
    FShared->HttpCreator = std::move(httpCreator);
    FShared->ServerName = std::move(serverName);
}

void TReadingFunctions::SetRequestValues(const TRequestValues &values) {
    const std::lock_guard lock(FShared->Lock);
    FShared->Values = values;
}

THttpCreatorFunction TReadingFunctions::HttpCreatorFunction() const {
    return [creator = FShared->HttpCreator] { return creator->CreateIdHttp(); };
}

TSendTextFunction TReadingFunctions::SendTextFunction() const {
    return [shared = FShared](const TSendTextInfo &info) {
        TRequestValues values;
        {
            const std::lock_guard lock(shared->Lock);
            values = shared->Values;
        }
        const std::shared_ptr<THttpCreator> &creator = shared->HttpCreator;
        return TRequestsToServer::SendText([creator] { return creator->CreateIdHttp(); },
                                           shared->ServerName, info.Text, values.AppUid, info.Speed,
                                           QString::number(values.SoundPitch), values.OSVersion);
    };
}

TDownloadProcedure TReadingFunctions::GetSoundFileFunction() const {
    return [creator = FShared->HttpCreator](const QString &url, const QString &localPath) {
        TRequestsToServer::GetSoundFile([creator] { return creator->CreateIdHttp(); }, url,
                                        localPath);
    };
}

QString ServiceBaseUrl() {
    const QString fromEnvironment = qEnvironmentVariable("SONAVIK_SERVICE_URL");
    return fromEnvironment.isEmpty() ? QString::fromUtf8(sv::build::kServiceUrl) : fromEnvironment;
}
