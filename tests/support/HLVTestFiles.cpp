#include "HLVTestFiles.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <stdexcept>
#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4coverart.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/xiphcomment.h>

HLVTestFiles::HLVTestFiles()
{
    if (!_dir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
}

QString HLVTestFiles::fixturePath(const QString& fixtureName)
{
    // A run as another user (scripts/run-unprivileged) brings its own copy of
    // the fixtures, since the checkout may not be readable to that user.
    static const QString folder = qEnvironmentVariableIsSet("CADRELLE_TEST_DATA_COPY")
        ? qEnvironmentVariable("CADRELLE_TEST_DATA_COPY")
        : QStringLiteral(CADRELLE_TEST_DATA_DIR);
    return folder + QLatin1Char('/') + fixtureName;
}

QString HLVTestFiles::copyFixture(const QString& fixtureName, const QString& asName)
{
    const QString target = path(asName.isEmpty() ? fixtureName : asName);
    QFile::remove(target);
    if (!QFile::copy(fixturePath(fixtureName), target))
        throw std::runtime_error("cannot copy fixture " + fixtureName.toStdString());
    QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                      | QFileDevice::ReadOther);
    return target;
}

QString HLVTestFiles::path(const QString& name) const
{
    return _dir.filePath(name);
}

QString HLVTestFiles::writeFile(const QString& name, const QByteArray& bytes)
{
    const QString target = path(name);
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + name.toStdString());
    return target;
}

QByteArray HLVTestFiles::readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QByteArray HLVTestFiles::imageBytes(const char* format, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QString HLVTestFiles::copyFixtureWithPicture(const QString& fixtureName)
{
    const QString target = copyFixture(fixtureName);
    const QByteArray name = QFile::encodeName(target);
    auto vector = [](const QByteArray& bytes) { return TagLib::ByteVector(bytes.constData(), unsigned(bytes.size())); };
    bool saved = false;
    if (fixtureName.endsWith(QLatin1String(".mp3"))) {
        TagLib::MPEG::File file(name.constData());
        file.ID3v2Tag(true)->setTitle("Pictured");
        auto* picture = new TagLib::ID3v2::AttachedPictureFrame;
        picture->setType(TagLib::ID3v2::AttachedPictureFrame::BackCover);
        picture->setMimeType("image/jpeg");
        picture->setPicture(vector(imageBytes("PNG", 3, 2)));
        file.ID3v2Tag()->addFrame(picture);
        file.ID3v1Tag(true)->setTitle("Pictured");
        saved = file.save();
    } else if (fixtureName.endsWith(QLatin1String(".m4a"))) {
        TagLib::MP4::File file(name.constData());
        file.tag()->setTitle("Pictured");
        TagLib::MP4::CoverArtList covers;
        covers.append(TagLib::MP4::CoverArt(TagLib::MP4::CoverArt::JPEG, vector(imageBytes("JPEG", 4, 4))));
        file.tag()->setItem("covr", covers);
        saved = file.save();
    } else if (fixtureName.endsWith(QLatin1String(".flac"))) {
        TagLib::FLAC::File file(name.constData());
        file.xiphComment(true)->setTitle("Pictured");
        auto* picture = new TagLib::FLAC::Picture;
        picture->setType(TagLib::FLAC::Picture::FrontCover);
        picture->setMimeType("image/png");
        picture->setData(vector(imageBytes("PNG", 5, 3)));
        file.addPicture(picture);
        saved = file.save();
    }
    if (!saved)
        throw std::runtime_error("cannot put a picture into " + fixtureName.toStdString());
    return target;
}
