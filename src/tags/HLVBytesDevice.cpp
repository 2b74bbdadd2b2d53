#include "HLVBytesDevice.h"

#include <cstring>
#include <taglib/tiostream.h>

HLVBytesDevice::HLVBytesDevice(qint64 size, Read read) : _size(size), _read(std::move(read))
{
    // The bytes come from memory or a stream's own cache: no second buffer.
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

HLVBytesDevice::HLVBytesDevice(TagLib::IOStream& stream)
    : HLVBytesDevice(qint64(stream.length()), [&stream](char* to, qint64 at, qint64 length) {
          const auto position = stream.tell();
          stream.seek(at);
          const TagLib::ByteVector bytes = stream.readBlock(size_t(length));
          stream.seek(position);
          if (!bytes.isEmpty())
              std::memcpy(to, bytes.data(), bytes.size());
          return qint64(bytes.size());
      })
{
}

qint64 HLVBytesDevice::readData(char* data, qint64 length)
{
    const qint64 at = pos();
    if (at >= _size || length <= 0)
        return 0;
    return _read(data, at, qMin(length, _size - at));
}
