// Linux: each entry is looked at without following links. Regular files are
// deleted while this process holds their exclusive lock, so a sound file that is
// still being written (its writer holds the lock) stays, as an open file does on
// Windows. Links are deleted themselves unless they point at a folder.
#include "sv.Utils.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void DeleteUnlessLocked(const QByteArray &path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        struct stat opened {};
        struct stat named {};
        // Delete only the file that was locked, not one put in its place meanwhile.
        if (::fstat(fd, &opened) == 0 && ::lstat(path.constData(), &named) == 0 &&
            opened.st_ino == named.st_ino && opened.st_dev == named.st_dev) {
            ::unlink(path.constData());
        }
    }
    ::close(fd);
}

} // namespace

void DeleteFilesInFolder(const QString &folder) {
    const QDir dir(folder);
    const QStringList names =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QByteArray path = QFile::encodeName(folder + name);
        struct stat entry {};
        if (::lstat(path.constData(), &entry) != 0) {
            continue;
        }
        if (S_ISREG(entry.st_mode)) {
            DeleteUnlessLocked(path);
        } else if (S_ISLNK(entry.st_mode)) {
            struct stat target {};
            if (::stat(path.constData(), &target) != 0 || !S_ISDIR(target.st_mode)) {
                ::unlink(path.constData());
            }
        }
    }
}
