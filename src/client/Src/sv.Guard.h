// sv.Guard: runs a handler's steps inside an error guard. An error is logged with
// the context text and swallowed, so the handler returns normally; the steps done
// before the error stay done, the rest are skipped. Any thread.
#pragma once

#include <functional>

class QString;

// Returns true when the steps ran to their end.
bool RunGuarded(const QString &context, const std::function<void()> &steps);
