#pragma once

#include <QByteArray>
#include <QIODevice>
#include <functional>

namespace TagLib {
class IOStream;
}

// A read-only device over bytes handed out by offset, so that the checks
// that walk a file's layout can read what a save recorded, or what TagLib's
// stream holds, without opening the file again.
class HLVBytesDevice : public QIODevice
{
public:
    // Copies up to length bytes from at into to; answers how many, -1 on failure.
    using Read = std::function<qint64(char* to, qint64 at, qint64 length)>;

    HLVBytesDevice(qint64 size, Read read);
    // The stream's bytes as they are now; the stream keeps its position.
    explicit HLVBytesDevice(TagLib::IOStream& stream);

    bool isSequential() const override { return false; }
    qint64 size() const override { return _size; }

protected:
    qint64 readData(char* data, qint64 length) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    qint64 _size;
    Read _read;
};
