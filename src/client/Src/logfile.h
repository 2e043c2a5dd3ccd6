// logfile: the program's log sink. Three calls: a line, an error with a context
// text, an error without context. Does nothing unless the environment variable
// SONAVIK_LOG names a file; then every call appends one line with a timestamp and
// the calling thread's id. Safe to call from any thread.
#pragma once

#include <exception>

class QString;

void LogLine(const QString &text);
void LogError(const std::exception &error, const QString &context);
void LogError(const std::exception &error);
