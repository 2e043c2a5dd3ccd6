#include "sv.Guard.h"

#include "logfile.h"

#include <QString>

#include <stdexcept>

bool RunGuarded(const QString &context, const std::function<void()> &steps) {
    try {
        steps();
        return true;
    } catch (const std::exception &error) {
        LogError(error, context);
    } catch (...) {
        LogError(std::runtime_error("unknown error"), context);
    }
    return false;
}
