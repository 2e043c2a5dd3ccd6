#include "sv.HttpCreator.h"

#include "http/HttpClient.h"
#include "logfile.h"
#include "sv.IntegerText.h"

std::optional<qint32> StrToPort(const QString &text) {
    QStringView rest(text);
    while (rest.startsWith(u' ')) {
        rest = rest.mid(1);
    }
    return ParseInt32(rest, true);
}

THttpCreator::THttpCreator(const TAppConfig &config) : FConfig(config) {}

void THttpCreator::UpdateConfig(const TAppConfig &config) {
    const std::lock_guard lock(FLock);
    FConfig = config;
}

std::unique_ptr<THttpClient> THttpCreator::CreateIdHttp() const {
    LogLine(QStringLiteral("THttpCreator.CreateIdHttp"));
    TAppConfig config;
    {
        const std::lock_guard lock(FLock);
        config = FConfig;
    }
    if (config.UseProxy) {
        if (auto client = create_id_http_with_proxy(config)) {
            return client;
        }
    }
    return std::make_unique<THttpClient>();
}

std::unique_ptr<THttpClient> THttpCreator::create_id_http_with_proxy(const TAppConfig &config) {
    LogLine(QStringLiteral("create_id_http_with_proxy"));
    const std::optional<qint32> port = StrToPort(config.Proxy_port);
    if (!config.UseProxy || config.Proxy_hostname.isEmpty() || !port) {
        return nullptr;
    }
    auto client = std::make_unique<THttpClient>();
    LogLine(QStringLiteral("create_id_http_with_proxy.1: ") + config.Proxy_hostname);
    LogLine(QStringLiteral("create_id_http_with_proxy.2: ") + QString::number(*port));
    TProxyParams &proxy = client->ProxyParams();
    proxy.ProxyServer = config.Proxy_hostname;
    proxy.ProxyPort = *port; // outside 1..65535 the connection fails
    if (config.Use_User) {
        proxy.BasicAuthentication = true;
        proxy.ProxyUsername = config.Proxy_User;
        proxy.ProxyPassword = config.Proxy_Userpass; // never logged
        LogLine(QStringLiteral("create_id_http_with_proxy.3: ") + config.Proxy_User);
    }
    return client;
}
