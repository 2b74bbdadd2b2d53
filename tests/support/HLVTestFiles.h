#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include "HLVTestPrinters.h"

// A fresh temporary folder holding copies of the committed audio fixtures
// (tone.mp3, tone.m4a, tone.flac, tone.ogg, tone.wav). Removed with the object.
class HLVTestFiles
{
public:
    HLVTestFiles();

    static QString fixturePath(const QString& fixtureName);

    // Copies a fixture into the folder under a new name (or its own) and answers the path.
    QString copyFixture(const QString& fixtureName, const QString& asName = QString());

    // A path inside the folder (the file need not exist).
    QString path(const QString& name) const;

    // Writes bytes to a file inside the folder and answers its path.
    QString writeFile(const QString& name, const QByteArray& bytes);

    static QByteArray readAll(const QString& path);

    // An encoded picture ("PNG", "JPEG") of that size, in one colour.
    static QByteArray imageBytes(const char* format, int width, int height);

    // A copy of tone.mp3, tone.m4a or tone.flac with a title and a picture,
    // written through TagLib: the MP3 with an ID3v2.4 tag whose picture is a
    // back cover (PNG 3x2, its MIME type wrongly "image/jpeg") and an ID3v1
    // tag; the M4A with a JPEG cover 4x4; the FLAC with a front cover picture
    // block (PNG 5x3) beside its Xiph comment.
    QString copyFixtureWithPicture(const QString& fixtureName);

private:
    QTemporaryDir _dir;
};
