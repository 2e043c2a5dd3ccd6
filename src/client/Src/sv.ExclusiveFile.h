// sv.ExclusiveFile: a file created (or emptied) for writing and held without
// sharing while it is written: on Linux an exclusive flock, so a second writer of
// the same name fails and emptying the sound-file folder leaves the file alone; on
// Windows a handle opened with no sharing. One implementation per platform. Used
// by one thread at a time.
#pragma once

#include <QString>

#include <cstdint>

class TExclusiveFile final {
public:
    // Raises "Cannot create file "<path>". <system's text>" when the file cannot be
    // created or another writer holds it.
    explicit TExclusiveFile(QString path);
    ~TExclusiveFile();
    TExclusiveFile(const TExclusiveFile &) = delete;
    TExclusiveFile &operator=(const TExclusiveFile &) = delete;

    // Appends the bytes; raises "Cannot write file "<path>". <system's text>" on failure.
    void Write(const char *data, qint64 size);
    // Releases the file (and its lock); idempotent.
    void Close() noexcept;

private:
    QString FPath;
    std::intptr_t FHandle;
};
