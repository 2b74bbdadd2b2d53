#include "HLVImageData.h"
#include "HLVLoopbackServer.h"
#include "HLVTestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <future>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using Reply = HLVLoopbackServer::Reply;

namespace {

// Runs on a worker thread, as every caller of the web branch must.
QByteArray imageAt(const std::optional<QString>& path)
{
    return std::async(std::launch::async, [path] { return HLVImageData::imageDataFromImageAtPath(path); }).get();
}

// Points the platform's temporary folder at a folder of the test's own.
class PrivateTemporaryFolder
{
public:
    PrivateTemporaryFolder() : _previous(qgetenv("TMPDIR")) { qputenv("TMPDIR", _dir.path().toUtf8()); }
    ~PrivateTemporaryFolder() { qputenv("TMPDIR", _previous); }
    QStringList entries() const { return QDir(_dir.path()).entryList(QDir::Files | QDir::Hidden); }

private:
    QTemporaryDir _dir;
    QByteArray _previous;
};

} // namespace

TEST(HLVImageDataWeb, DownloadsWebAddressesInAnyCaseAndLeavesNoTemporaryFile)
{
    PrivateTemporaryFolder temporary;
    HLVLoopbackServer server;
    const QByteArray picture = "\xff\xd8\xff\xe0 not really a JPEG \x00\x01\x02 but bytes";
    server.setReply("/cover.jpg", Reply::bytes(picture, "image/jpeg"));
    server.setReply("/moved.jpg", Reply::redirect("/cover.jpg"));
    server.setReply("/missing.jpg", Reply::withStatus(404, "<html>Not Found</html>"));
    server.setReply("/cut.jpg", Reply::truncated(picture));
    const QString base = server.baseAddress();

    EXPECT_EQ(imageAt(base + "/cover.jpg"), picture);
    EXPECT_EQ(imageAt("HTTP://127.0.0.1:" + QString::number(server.port()) + "/cover.jpg"), picture);
    EXPECT_EQ(imageAt(base + "/moved.jpg"), picture);
    // An error page or a cut-off download is no picture.
    EXPECT_TRUE(imageAt(base + "/missing.jpg").isEmpty());
    EXPECT_TRUE(imageAt(base + "/cut.jpg").isEmpty());
    EXPECT_TRUE(imageAt("http://127.0.0.1:1/cover.jpg").isEmpty());
    EXPECT_EQ(server.requests().size(), 6u);
    EXPECT_EQ(temporary.entries(), QStringList());

    // The blocking download is refused on the main thread.
    EXPECT_TRUE(HLVImageData::imageDataFromImageAtPath(base + "/cover.jpg").isEmpty());
    EXPECT_EQ(server.requests().size(), 6u);
}

TEST(HLVImageDataWeb, ConcurrentDownloadsKeepTheirOwnBytes)
{
    HLVLoopbackServer server;
    // Large pictures answered at the same moment, so that the downloads overlap on disk.
    const QByteArray first(4000000, 'a');
    const QByteArray second(3000000, 'b');
    server.setReply("/first.jpg", Reply::bytes(first, "image/jpeg").delayed(100ms));
    server.setReply("/second.jpg", Reply::bytes(second, "image/jpeg").delayed(100ms));
    std::vector<std::future<QByteArray>> downloads;
    for (int i = 0; i < 4; ++i) {
        for (const char* name : {"/first.jpg", "/second.jpg"}) {
            const QString address = server.baseAddress() + QLatin1String(name);
            downloads.push_back(std::async(std::launch::async, [address] {
                return HLVImageData::imageDataFromImageAtPath(address);
            }));
        }
    }
    for (size_t i = 0; i < downloads.size(); ++i)
        EXPECT_TRUE(downloads[i].get() == (i % 2 == 0 ? first : second)) << i;
}

TEST(HLVImageDataWeb, ALocalPathWithHttpInsideIsReadFromDisk)
{
    HLVTestFiles files;
    ASSERT_TRUE(QDir(files.path("")).mkpath("downloads-http"));
    const QString path = files.writeFile("downloads-http/cover.png", "local picture bytes");
    EXPECT_EQ(imageAt(path), "local picture bytes");
    EXPECT_TRUE(imageAt(files.path("absent.png")).isEmpty());
    EXPECT_TRUE(imageAt(std::nullopt).isEmpty());
}
