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

private:
    QTemporaryDir _dir;
};
