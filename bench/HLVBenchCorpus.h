#pragma once

#include "HLVTagLib.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The audio files the benchmark works on, in a temporary folder removed with
// the object: tagged copies of the three fixtures (MP3, MPEG-4, FLAC in turn)
// whose tags vary from file to file, hard links to them for the large scenarios,
// and untagged copies for identification.
//
// Of every ten files per format one is untagged, two are partially tagged and
// seven are complete with a cover (JPEG or PNG); one of those seven also has a
// composer, grouping, comment, compilation flag and a custom tag. Some names
// hold text beyond Latin-1.
class HLVBenchCorpus
{
public:
    enum class Completeness { Untagged, Partial, Complete };

    struct Entry
    {
        QString path;
        HLVTagLib::Format format = HLVTagLib::Format::Other;
        Completeness completeness = Completeness::Untagged;
    };

    HLVBenchCorpus();
    bool isValid() const { return _dir.isValid(); }
    QString lastError() const { return _error; }

    // count tagged copies in a folder of their own; empty on failure (see lastError()).
    QList<Entry> makeTaggedCopies(const QString& folder, int count);

    // count paths in a folder of their own, each a hard link to the sources in
    // turn (a copy where the file system refuses links); entry i is sources[i % n].
    QList<Entry> makeLinks(const QString& folder, const QList<Entry>& sources, int count);

    // Fresh copies of the entries (tags and all), for scenarios that change files.
    QList<Entry> makeCopies(const QString& folder, const QList<Entry>& sources);

    // count untagged copies of the fixtures, the three formats in turn.
    QList<Entry> makeUntaggedCopies(const QString& folder, int count);

    // An empty folder of its own for a scenario's files; empty on failure.
    QString workFolder(const QString& name) { return makeFolder(name); }

    static QString fixturePath(HLVTagLib::Format format);
    static QStringList paths(const QList<Entry>& entries);

private:
    QString makeFolder(const QString& name);
    bool makeCovers();

    QTemporaryDir _dir;
    QString _jpegCover;
    QString _pngCover;
    QString _error;
};
