// Emptying the sound-file folder: files go, folders and what links point at stay,
// and a file whose writer still holds its lock is left alone.
#include "support/TempHome.h"

#include "sv.Utils.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

TEST(DeleteFilesInFolder, DeletesFilesOnlyAndFollowsNoLink) {
    TempHome home;
    const QString folder = home.Path() + QStringLiteral("/sounds/");
    const QString outside = home.Path() + QStringLiteral("/outside/");
    WriteBytes(folder + QStringLiteral("part0.mp3"), "a");
    WriteBytes(folder + QStringLiteral(".hidden"), "b");
    WriteBytes(folder + QStringLiteral("sub/inner.mp3"), "c");
    WriteBytes(outside + QStringLiteral("target.mp3"), "d");
    WriteBytes(outside + QStringLiteral("dir/kept.mp3"), "e");
    ASSERT_TRUE(
        QFile::link(outside + QStringLiteral("target.mp3"), folder + QStringLiteral("file-link")));
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("dir"), folder + QStringLiteral("dir-link")));
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("gone"), folder + QStringLiteral("dangling")));
    QFile::setPermissions(folder + QStringLiteral("part0.mp3"), QFileDevice::ReadOwner);

    DeleteFilesInFolder(folder);

    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                     QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("dir-link"), QStringLiteral("sub")}));
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("sub/inner.mp3")));
    EXPECT_TRUE(QFile::exists(outside + QStringLiteral("target.mp3")));
    EXPECT_TRUE(QFile::exists(outside + QStringLiteral("dir/kept.mp3")));
}

TEST(DeleteFilesInFolder, LeavesAFileWhoseWriterHoldsItsLock) {
    TempHome home;
    const QString folder = home.Path() + QStringLiteral("/sounds/");
    WriteBytes(folder + QStringLiteral("writing.mp3"), "partial");
    WriteBytes(folder + QStringLiteral("done.mp3"), "whole");
    const int fd =
        ::open(QFile::encodeName(folder + QStringLiteral("writing.mp3")).constData(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);

    DeleteFilesInFolder(folder);
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("writing.mp3")));
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("done.mp3")));

    ::close(fd); // the writer is done: the next emptying takes it
    DeleteFilesInFolder(folder);
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("writing.mp3")));
}

TEST(DeleteFilesInFolder, MissingFolderIsNoError) {
    TempHome home;
    DeleteFilesInFolder(home.Path() + QStringLiteral("/nothing-here/"));
    SUCCEED();
}

} // namespace
