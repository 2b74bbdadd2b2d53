#pragma once

#include "HLVKnownTagDetail.h"

#include <QStringList>
#include <QXmlStreamAttributes>

// Reads the known-tag catalogue. The XML is pulled with QXmlStreamReader and
// turned into start/characters/end events, so an entry's text may arrive in
// several pieces as with any event parser.
class HLVKnownTagsXMLParser
{
public:
    explicit HLVKnownTagsXMLParser(const QString& filePath);

    // True when the file exists and the whole document parsed without error.
    bool parse();

    // Parses a document held in memory (the same events as parse()).
    bool parseData(const QByteArray& document);

    const std::optional<HLVKnownTagDetail::Table>& knownAppleTags() const { return _knownAppleTags; }
    const std::optional<HLVKnownTagDetail::Table>& knownID3Tags() const { return _knownID3Tags; }
    const std::optional<HLVKnownTagDetail::Table>& knownXiphTags() const { return _knownXiphTags; }
    const QString& filePath() const { return _filePath; }

    void parserDidStartDocument();
    void parserDidStartElement(const QString& elementName, const QXmlStreamAttributes& attributes);
    void parserFoundCharacters(const QString& string);
    void parserDidEndElement(const QString& elementName);
    void parserDidEndDocument();
    void parserParseErrorOccurred();
    void cleanUp();

private:
    QStringList _elementStack;
    std::optional<HLVKnownTagDetail::Table> _knownTagDictionary;
    QString _identifier;
    int _knownType = -1;
    std::optional<HLVKnownTagDetail::Table> _knownAppleTags;
    std::optional<HLVKnownTagDetail::Table> _knownID3Tags;
    std::optional<HLVKnownTagDetail::Table> _knownXiphTags;
    QString _filePath;
};
