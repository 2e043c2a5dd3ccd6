// RequestError: a request the service refuses, with the HTTP status to answer. Any thread.
#pragma once

#include <stdexcept>
#include <string>

namespace speechd {

class RequestError final : public std::runtime_error {
public:
    RequestError(int status, const std::string &message)
        : std::runtime_error(message), FStatus(status) {}
    int Status() const { return FStatus; }

private:
    int FStatus;
};

} // namespace speechd
