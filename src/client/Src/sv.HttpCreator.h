// sv.HttpCreator: THttpCreator makes the HTTP client of every request to the
// speech service and applies the user's proxy settings to it. It keeps its own
// copy of the settings, replaced by UpdateConfig on the main thread and read by
// CreateIdHttp on any thread under one lock; a client keeps the settings it was
// made with.
#pragma once

#include "sv.AppConfig.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class THttpClient;

// The function through which requests get their client: a new client each call,
// owned by the caller.
using THttpCreatorFunction = std::function<std::unique_ptr<THttpClient>()>;

class THttpCreator final {
public:
    explicit THttpCreator(const TAppConfig &config);

    void UpdateConfig(const TAppConfig &config);
    // A new client: through the proxy when the settings name a usable one,
    // otherwise direct.
    [[nodiscard]] std::unique_ptr<THttpClient> CreateIdHttp() const;

private:
    [[nodiscard]] static std::unique_ptr<THttpClient>
    create_id_http_with_proxy(const TAppConfig &config);

    mutable std::mutex FLock;
    TAppConfig FConfig;
};

// The standard integer conversion of a port text: optional leading spaces, an
// optional sign, then decimal digits, or hexadecimal digits after "$", "x", "X",
// "0x" or "0X"; nothing after the digits; within the 32-bit signed range.
[[nodiscard]] std::optional<qint32> StrToPort(const QString &text);
