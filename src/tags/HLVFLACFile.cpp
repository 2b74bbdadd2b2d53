#include "HLVFLACFile.h"
#include "HLVBytesDevice.h"
#include "HLVTagLibReader.h"
#include "HLVTagLibWriter.h"

#include <QFile>
#include <optional>
#include <QtEndian>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tbytevector.h>
#include <taglib/xiphcomment.h>

namespace HLVFLACFile {

namespace {

enum BlockType { StreamInfo = 0, Padding = 1, VorbisComment = 4, Picture = 6 };

// The stream information always holds 34 bytes.
constexpr qint64 streamInfoLength = 34;

unsigned int byteAt(const QByteArray& bytes, qint64 index)
{
    return static_cast<unsigned char>(bytes[index]);
}

// Where the stream begins: after an ID3v2 tag at the very start, if any.
qint64 id3v2End(const QByteArray& head)
{
    if (head.size() < 10 || !head.startsWith("ID3"))
        return 0;
    qint64 size = 0;
    for (int i = 6; i < 10; ++i)
        size = (size << 7) | (byteAt(head, i) & 0x7F);
    const bool hasFooter = (byteAt(head, 5) & 0x10) != 0;
    return 10 + size + (hasFooter ? 10 : 0);
}

struct Walk
{
    QIODevice& file;
    qint64 length;

    QByteArray read(qint64 at, qint64 count)
    {
        if (at < 0 || count < 0 || at > length || !file.seek(at))
            return QByteArray();
        return file.read(count);
    }

    quint32 bigEndian(qint64 at)
    {
        const QByteArray bytes = read(at, 4);
        return bytes.size() == 4 ? qFromBigEndian<quint32>(bytes.constData()) : 0xFFFFFFFFu;
    }

    quint32 littleEndian(qint64 at)
    {
        const QByteArray bytes = read(at, 4);
        return bytes.size() == 4 ? qFromLittleEndian<quint32>(bytes.constData()) : 0xFFFFFFFFu;
    }

    bool isFrameSync(qint64 at)
    {
        const QByteArray sync = read(at, 2);
        return sync.size() == 2 && byteAt(sync, 0) == 0xFF && (byteAt(sync, 1) & 0xFE) == 0xF8;
    }

    // Where a block that ends at `end` may end: after the last one, an audio
    // frame or the end of the file; otherwise the next block header, of a
    // known type other than the stream information, not empty unless padding,
    // and ending inside the file.
    bool endsWell(qint64 end, bool last)
    {
        if (last)
            return end == length || (end < length && isFrameSync(end));
        const QByteArray header = read(end, 4);
        if (header.size() < 4)
            return false;
        const int type = int(byteAt(header, 0) & 0x7F);
        const qint64 next = (qint64(byteAt(header, 1)) << 16) | (byteAt(header, 2) << 8) | byteAt(header, 3);
        return type != 0 && type <= Picture && (next > 0 || type == Padding) && end + 4 + next <= length;
    }

    // True when the block whose header is at `at` runs past the end of the file.
    bool endsInside(qint64 at)
    {
        const QByteArray header = read(at, 4);
        if (header.size() < 4)
            return true;
        const qint64 length = (qint64(byteAt(header, 1)) << 16) | (byteAt(header, 2) << 8) | byteAt(header, 3);
        return at + 4 + length > this->length;
    }

    // The length a block's own contents give, or -1 when they do not tell.
    qint64 contentLength(int type, qint64 data, bool last)
    {
        switch (type) {
        case Picture: {
            // type, MIME type, description, four numbers, data: each length-prefixed part big-endian.
            qint64 at = data + 4;
            for (int part = 0; part < 2; ++part) {
                const quint32 size = bigEndian(at);
                if (size == 0xFFFFFFFFu || at + 4 + size > length)
                    return -1;
                at += 4 + qint64(size);
            }
            at += 16;
            const quint32 size = bigEndian(at);
            if (size == 0xFFFFFFFFu || at + 4 + size > length)
                return -1;
            return at + 4 + size - data;
        }
        case VorbisComment: {
            // vendor string, count, the comments: each length little-endian.
            const quint32 vendor = littleEndian(data);
            if (vendor == 0xFFFFFFFFu || data + 4 + vendor > length)
                return -1;
            qint64 at = data + 4 + vendor;
            const quint32 count = littleEndian(at);
            at += 4;
            for (quint32 i = 0; i < count && at <= length; ++i) {
                const quint32 size = littleEndian(at);
                if (size == 0xFFFFFFFFu)
                    return -1;
                at += 4 + qint64(size);   // in 32 bits, 4 + 0xFFFFFFFC would not move on
            }
            return at <= length ? at - data : -1;
        }
        case Padding: {
            // Only the last block: zeros up to the first audio frame.
            if (!last)
                return -1;
            const QByteArray zeros = read(data, qMin<qint64>(length - data, maximumBlockLength + 1));
            qint64 count = 0;
            while (count < zeros.size() && zeros[count] == 0)
                ++count;
            return count;
        }
        default:
            return -1;
        }
    }
};

} // namespace

bool planRepairs(const QString& path, QList<BlockRepair>* repairs, HLVFailure* failure)
{
    QFile raw(path);
    if (!raw.open(QIODevice::ReadOnly))
        return HLVReportFailure(failure, HLVFailure::Kind::Other, QStringLiteral("the file cannot be read"));
    return planRepairs(raw, repairs, failure);
}

bool planRepairs(QIODevice& device, QList<BlockRepair>* repairs, HLVFailure* failure)
{
    Walk walk{device, device.size()};
    const qint64 start = id3v2End(walk.read(0, 10));
    // The marker nearly always follows at once: the first megabyte is read only when it does not.
    qint64 marker = walk.read(start, 4096).indexOf("fLaC");
    if (marker < 0)
        marker = walk.read(start, 1 << 20).indexOf("fLaC");
    if (marker < 0)
        return HLVTagLibReader::reportNotAudio(failure, "a FLAC file");
    const auto damaged = [failure](const QString& what) {
        return HLVTagLibWriter::reportStructure(failure, QStringLiteral("the FLAC metadata is damaged: ") + what);
    };
    qint64 position = start + marker + 4;
    for (int number = 1, last = 0; !last; ++number) {
        const QByteArray header = walk.read(position, 4);
        if (header.size() < 4)
            return damaged(QStringLiteral("the file ends inside block %1").arg(number));
        last = (byteAt(header, 0) & 0x80) != 0;
        const int type = int(byteAt(header, 0) & 0x7F);
        if (number == 1 && type != StreamInfo)
            return damaged(QStringLiteral("block 1 is not the stream information"));
        const qint64 declared = (qint64(byteAt(header, 1)) << 16) | (byteAt(header, 2) << 8) | byteAt(header, 3);
        qint64 blockLength = declared;
        if (!walk.endsWell(position + 4 + declared, last)) {
            const qint64 content = walk.contentLength(type, position + 4, last);
            if (content < 0 || content > qint64(maximumBlockLength) || !walk.endsWell(position + 4 + content, last)) {
                // Named by what the block's own contents say, where they tell.
                const qint64 holds = type == StreamInfo ? streamInfoLength : content;
                if (holds >= 0 && holds != declared)
                    return damaged(QStringLiteral("block %1 claims %2 bytes than it holds")
                                       .arg(number)
                                       .arg(holds < declared ? QStringLiteral("more") : QStringLiteral("fewer")));
                if (position + 4 + declared > walk.length)
                    return damaged(QStringLiteral("the file ends inside block %1").arg(number));
                if (!last && walk.endsInside(position + 4 + declared))
                    return damaged(QStringLiteral("the file ends inside block %1").arg(number + 1));
                return damaged(last ? QStringLiteral("block %1 does not end where the audio begins").arg(number)
                                    : QStringLiteral("block %1 does not end where the next block begins").arg(number));
            }
            repairs->append({position + 1, quint32(declared), quint32(content)});
            blockLength = content;
        }
        position += 4 + blockLength;
    }
    return true;
}

namespace {

// Why TagLib cannot take a file: what the walk of its blocks found when the
// file begins as FLAC, else that it is no FLAC file at all.
bool reportUnreadable(const QString& path, const HLVFailure& found, HLVFailure* failure)
{
    QFile raw(path);
    if (!raw.open(QIODevice::ReadOnly))
        return HLVReportFailure(failure, HLVFailure::Kind::Other, QStringLiteral("the file cannot be read"));
    Walk walk{raw, raw.size()};
    if (walk.read(id3v2End(walk.read(0, 10)), 4) != "fLaC")
        return HLVTagLibReader::reportNotAudio(failure, "a FLAC file");
    if (found.kind == HLVFailure::Kind::StructureRefused)
        return HLVReportFailure(failure, found.kind, found.message);
    return HLVTagLibWriter::reportStructure(failure, QStringLiteral("the FLAC metadata is damaged"));
}

} // namespace

Readable::Readable() = default;
Readable::~Readable() = default;

bool Readable::open(const QString& path, HLVFailure* failure, bool readProperties)
{
    if (!HLVTagLibReader::checkTagFileCandidate(path, failure))
        return false;
    _file = std::make_unique<TagLib::FLAC::File>(HLVTagLibReader::fileSystemPath(path).constData(), readProperties,
                                                 TagLib::AudioProperties::Fast);
    if (_file->isValid())
        return true;
    _file.reset();
    QList<BlockRepair> repairs;
    HLVFailure found;
    if (!planRepairs(path, &repairs, &found) || repairs.isEmpty())
        return reportUnreadable(path, found, failure);
    QFile raw(path);
    if (!raw.open(QIODevice::ReadOnly))
        return HLVReportFailure(failure, HLVFailure::Kind::Other, QStringLiteral("the file cannot be read"));
    QByteArray bytes = raw.readAll();
    for (const BlockRepair& repair : std::as_const(repairs)) {
        bytes[repair.offset] = char(repair.corrected >> 16);
        bytes[repair.offset + 1] = char(repair.corrected >> 8);
        bytes[repair.offset + 2] = char(repair.corrected);
    }
    _stream = std::make_unique<TagLib::ByteVectorStream>(TagLib::ByteVector(bytes.constData(), unsigned(bytes.size())));
    _file = std::make_unique<TagLib::FLAC::File>(_stream.get(), TagLib::ID3v2::FrameFactory::instance(), readProperties,
                                                 TagLib::AudioProperties::Fast);
    if (_file->isValid())
        return true;
    _file.reset();
    return reportUnreadable(path, HLVFailure(), failure);
}

Writable::~Writable()
{
    _file.reset();
    if (!_saved && !_repairs.isEmpty())
        patch(false);
}

bool Writable::patch(bool corrected)
{
    if (_stream) {
        for (const BlockRepair& repair : std::as_const(_repairs)) {
            const quint32 value = corrected ? repair.corrected : repair.declared;
            const char bytes[3] = {char(value >> 16), char(value >> 8), char(value)};
            _stream->seek(repair.offset);
            _stream->writeBlock(TagLib::ByteVector(bytes, 3));
        }
        return true;
    }
    QFile file(_path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    for (const BlockRepair& repair : std::as_const(_repairs)) {
        const quint32 value = corrected ? repair.corrected : repair.declared;
        const char bytes[3] = {char(value >> 16), char(value >> 8), char(value)};
        if (!file.seek(repair.offset) || file.write(bytes, 3) != 3)
            return false;
    }
    return file.flush();
}

bool Writable::open(const QString& path, HLVFailure* failure, TagLib::IOStream* stream)
{
    _path = path;
    _stream = stream;
    if (!HLVTagLibWriter::checkWritableFile(path, failure, stream))
        return false;
    QList<BlockRepair> repairs;
    HLVFailure found;
    std::optional<HLVBytesDevice> streamed;
    if (_stream)
        streamed.emplace(*_stream);
    if (!(streamed ? planRepairs(*streamed, &repairs, &found) : planRepairs(path, &repairs, &found))) {
        // A file TagLib does not take for FLAC is named by its blocks only when it begins as FLAC.
        if (!TagLib::FLAC::File(HLVTagLibReader::fileSystemPath(path).constData(), false).isValid())
            return reportUnreadable(path, found, failure);
        return HLVReportFailure(failure, found.kind, found.message);
    }
    _repairs = repairs;
    if (!_repairs.isEmpty() && !patch(true)) {
        patch(false);
        _repairs.clear();
        return HLVReportFailure(failure, HLVFailure::Kind::WriteFailed, QStringLiteral("the file could not be written"));
    }
    if (_stream)
        _file = std::make_unique<TagLib::FLAC::File>(_stream, TagLib::ID3v2::FrameFactory::instance(), false);
    else
        _file = std::make_unique<TagLib::FLAC::File>(HLVTagLibReader::fileSystemPath(path).constData(), false);
    if (!_file->isValid())
        return reportUnreadable(path, HLVFailure(), failure);
    return true;
}

bool fitsInBlocks(TagLib::FLAC::File& file)
{
    const auto pictures = file.pictureList();
    for (const TagLib::FLAC::Picture* picture : pictures) {
        // A picture block is 32 bytes of fields, its type and description
        // (at most four bytes a character) and its data: only one that may
        // come near the limit is rendered to be measured.
        const qint64 most = 32 + 4 * qint64(picture->mimeType().size()) + 4 * qint64(picture->description().size())
            + qint64(picture->data().size());
        if (most > qint64(maximumBlockLength) && picture->render().size() > maximumBlockLength)
            return false;
    }
    const TagLib::Ogg::XiphComment* comment = file.xiphComment(false);
    return !comment || comment->render(false).size() <= maximumBlockLength;
}

bool Writable::save(HLVFailure* failure)
{
    if (!fitsInBlocks(*_file))
        return HLVTagLibWriter::reportStructure(failure, QStringLiteral("a FLAC metadata block would exceed 16 MiB"));
    _saved = _file->save();
    return HLVTagLibWriter::finishSave(_saved, {}, failure);
}

} // namespace HLVFLACFile
