#include "HLVBytesDevice.h"

#include <cstring>
#include <taglib/tiostream.h>

HLVBytesDevice::HLVBytesDevice(qint64 size, Read read) : _size(size), _read(std::move(read))
{
    // The bytes come from memory or a stream's own cache: no second buffer.
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

HLVBytesDevice::HLVBytesDevice(TagLib::IOStream& stream)
    : HLVBytesDevice(qint64(stream.length()), [&stream](qint64 at, qint64 length) {
          const auto position = stream.tell();
          stream.seek(at);
          const TagLib::ByteVector bytes = stream.readBlock(size_t(length));
          stream.seek(position);
          return QByteArray(bytes.data(), qsizetype(bytes.size()));
      })
{
}

qint64 HLVBytesDevice::readData(char* data, qint64 length)
{
    const qint64 at = pos();
    if (at >= _size || length <= 0)
        return 0;
    const QByteArray bytes = _read(at, qMin(length, _size - at));
    if (!bytes.isEmpty())
        std::memcpy(data, bytes.constData(), size_t(bytes.size()));
    return bytes.size();
}
