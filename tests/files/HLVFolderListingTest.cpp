#include "HLVFolderListing.h"
#include "HLVTestFiles.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

TEST(HLVFolderListing, ListsAudioFilesAtAnyDepthInAnyCaseWithoutFollowingLinks)
{
    HLVTestFiles files;
    QDir root(files.path(QStringLiteral("music")));
    ASSERT_TRUE(root.mkpath(QStringLiteral("a/b/c")));
    ASSERT_TRUE(root.mkpath(QStringLiteral("folder.mp3")));     // a folder, whatever its name
    ASSERT_TRUE(root.mkpath(QStringLiteral(".hidden")));
    QDir outside(files.path(QStringLiteral("outside")));
    ASSERT_TRUE(outside.mkpath(QStringLiteral(".")));
    auto touch = [](const QString& path) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
    };
    for (const char* name : {"top.MP3", "a/one.m4a", "a/b/two.Flac", "a/b/c/three.mp4", "a/b/c/four.M4P", "a/b/book.m4b",
                             ".hidden/five.mp3", "a/skip.ogg", "a/skip.wav", "a/noextension", "a/mp3"})
        touch(root.filePath(QString::fromLatin1(name)));
    touch(outside.filePath(QStringLiteral("linked.mp3")));
    ASSERT_TRUE(QFile::link(outside.path(), root.filePath(QStringLiteral("a/linked-folder"))));
    ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("linked.mp3")), root.filePath(QStringLiteral("link.mp3"))));

    const QString base = root.path();
    const QStringList expected = {base + "/.hidden/five.mp3", base + "/a/b/book.m4b", base + "/a/b/c/four.M4P",
                                  base + "/a/b/c/three.mp4", base + "/a/b/two.Flac", base + "/a/one.m4a", base + "/top.MP3"};
    EXPECT_EQ(HLVFolderListing::audioFilesInFolder(base), expected);
    // A trailing slash does not double up.
    EXPECT_EQ(HLVFolderListing::audioFilesInFolder(base + "/").first(), expected.first());
    EXPECT_TRUE(HLVFolderListing::audioFilesInFolder(files.path(QStringLiteral("missing"))).isEmpty());

    // Dropped items: a folder is listed, a file kept by its extension, the rest dropped.
    const QList<QUrl> urls = HLVFolderListing::audioFileURLsForPaths(
        {root.filePath(QStringLiteral("a/b")), root.filePath(QStringLiteral("top.MP3")),
         root.filePath(QStringLiteral("a/skip.ogg")), files.path(QStringLiteral("gone.mp3"))});
    EXPECT_EQ(urls, QList<QUrl>({QUrl::fromLocalFile(base + "/a/b/book.m4b"), QUrl::fromLocalFile(base + "/a/b/c/four.M4P"),
                                 QUrl::fromLocalFile(base + "/a/b/c/three.mp4"), QUrl::fromLocalFile(base + "/a/b/two.Flac"), QUrl::fromLocalFile(base + "/top.MP3")}));

    // A listing told to stop (the program quitting) walks no further.
    const std::atomic<bool> stop{true};
    EXPECT_TRUE(HLVFolderListing::audioFilesInFolder(base, &stop).isEmpty());
    EXPECT_TRUE(HLVFolderListing::audioFileURLsForPaths({base, root.filePath(QStringLiteral("top.MP3"))}, &stop).isEmpty());
}
