#include "HLVOtherWriters.h"
#include "HLVTestFiles.h"

#include <QtEndian>

namespace HLVOtherWriters {

namespace {

QByteArray fixture(const char* name)
{
    return HLVTestFiles::readAll(HLVTestFiles::fixturePath(QString::fromLatin1(name)));
}

quint32 u32(const QByteArray& bytes, qsizetype at)
{
    return qFromBigEndian<quint32>(bytes.constData() + at);
}

void setU32(QByteArray& bytes, qsizetype at, quint32 value)
{
    qToBigEndian(value, bytes.data() + at);
}

QByteArray box(const char* type, const QByteArray& body)
{
    QByteArray bytes(4, '\0');
    setU32(bytes, 0, quint32(body.size() + 8));
    return bytes + QByteArray(type, 4) + body;
}

// The offset of the first box of a type inside bytes (its size field), or -1.
qsizetype find(const QByteArray& bytes, const char* type, qsizetype from = 0)
{
    const qsizetype at = bytes.indexOf(QByteArray(type, 4), from + 4);
    return at < 0 ? -1 : at - 4;
}

// The fixture's top-level boxes: ftyp, moov, free, mdat (written with "faststart").
struct Movie
{
    QByteArray ftyp, moov, rest, mdat;
};

Movie fixtureMovie()
{
    const QByteArray file = fixture("tone.m4a");
    Movie movie;
    movie.ftyp = file.left(u32(file, 0));
    const qsizetype moov = movie.ftyp.size();
    movie.moov = file.mid(moov, u32(file, moov));
    const qsizetype mdat = find(file, "mdat", moov + movie.moov.size() - 4);
    movie.rest = file.mid(moov + movie.moov.size(), mdat - moov - movie.moov.size());
    movie.mdat = file.mid(mdat);
    return movie;
}

// Moves every chunk offset of the movie's table by delta.
QByteArray shiftedChunks(QByteArray moov, qint64 delta)
{
    const qsizetype stco = find(moov, "stco");
    const quint32 count = u32(moov, stco + 12);
    for (quint32 i = 0; i < count; ++i) {
        const qsizetype at = stco + 16 + 4 * i;
        setU32(moov, at, quint32(qint64(u32(moov, at)) + delta));
    }
    return moov;
}

} // namespace

QByteArray mp3WithXingFrame()
{
    const QByteArray audio = fixture("tone.mp3");
    // The fixture's first frame is MPEG 2.5 layer III, mono: its header, nine
    // bytes of side information, then the information tag in place of audio.
    const QByteArray header = audio.left(4);
    const qsizetype frameLength = 72 * 32000 / 11025;
    QByteArray frame = header + QByteArray(9, '\0') + "Xing";
    QByteArray fields(12, '\0');
    setU32(fields, 0, 0x7);                                  // frames, bytes, table of contents
    setU32(fields, 4, quint32(audio.size() / frameLength)); // frames
    setU32(fields, 8, quint32(audio.size()));               // bytes
    frame += fields;
    for (int i = 0; i < 100; ++i)
        frame += char(i * 255 / 100);
    frame += QByteArray("LAME3.100");
    frame += QByteArray(frameLength - frame.size(), '\0');
    return frame + audio;
}

QByteArray mp4WithMovieLast()
{
    const Movie m = fixtureMovie();
    const QByteArray moov = shiftedChunks(m.moov, -qint64(m.moov.size()));
    return m.ftyp + m.rest + m.mdat + moov;
}

QByteArray mp4WithPlainMeta()
{
    const Movie m = fixtureMovie();
    QByteArray moov = m.moov;
    const qsizetype meta = find(moov, "meta");
    moov.remove(meta + 8, 4); // version and flags
    for (const qsizetype at : {qsizetype(0), find(moov, "udta"), meta})
        setU32(moov, at, u32(moov, at) - 4);
    return m.ftyp + shiftedChunks(moov, -4) + m.rest + m.mdat;
}

QByteArray mp4WithLargeSize()
{
    const Movie m = fixtureMovie();
    // The eight bytes of free space make room for the longer header: the
    // media stays where the chunk table says.
    QByteArray header(16, '\0');
    setU32(header, 0, 1);
    header.replace(4, 4, "mdat");
    qToBigEndian(quint64(m.mdat.size() + 8), header.data() + 8);
    return m.ftyp + m.moov + m.rest.mid(8) + header + m.mdat.mid(8);
}

QByteArray mp4WithOddBoxType()
{
    const Movie m = fixtureMovie();
    return m.ftyp + m.moov + m.rest + m.mdat + box("\x01\x02\xfe\xff", QByteArray(8, '\0'));
}

QByteArray mp4ChunkBytes(const QByteArray& file)
{
    QByteArray chunks;
    const qsizetype stco = find(file, "stco");
    if (stco < 0)
        return chunks;
    const quint32 count = u32(file, stco + 12);
    for (quint32 i = 0; i < count; ++i)
        chunks += file.mid(u32(file, stco + 16 + 4 * i), 16);
    return chunks;
}

QByteArray flacWithLongStreamInfo()
{
    QByteArray file = fixture("tone.flac");
    // "fLaC", then the first block's header: type, then a 24-bit length (34).
    file[7] = char(file[7] + 3);
    return file;
}

} // namespace HLVOtherWriters
