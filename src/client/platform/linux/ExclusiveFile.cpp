// Linux: open (created with owner-only permissions), then an exclusive flock taken
// without waiting, then emptied; writes loop until every byte is written.
#include "sv.ExclusiveFile.h"

#include "sv.Exceptions.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace {

QString SystemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

TExclusiveFile::TExclusiveFile(QString path) : FPath(std::move(path)), FHandle(-1) {
    const int fd =
        ::open(QFile::encodeName(FPath).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    int error = errno;
    // Emptied only once the lock is held, so a second writer never empties a file in use.
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::ftruncate(fd, 0) == 0) {
        FHandle = fd;
        return;
    }
    if (fd >= 0) {
        error = errno;
        ::close(fd);
    }
    throw Exception(QStringLiteral("Cannot create file \"%1\". %2").arg(FPath, SystemText(error)));
}

TExclusiveFile::~TExclusiveFile() {
    Close();
}

void TExclusiveFile::Write(const char *data, qint64 size) {
    while (size > 0) {
        const ssize_t written = ::write(static_cast<int>(FHandle), data, static_cast<size_t>(size));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            throw Exception(
                QStringLiteral("Cannot write file \"%1\". %2").arg(FPath, SystemText(errno)));
        }
        data += written;
        size -= written;
    }
}

void TExclusiveFile::Close() noexcept {
    if (FHandle >= 0) {
        ::close(static_cast<int>(FHandle)); // also releases the lock
        FHandle = -1;
    }
}
