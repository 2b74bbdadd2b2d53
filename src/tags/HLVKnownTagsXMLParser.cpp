#include "HLVKnownTagsXMLParser.h"
#include "HLVTagValueParser.h"

#include <QFile>
#include <QXmlStreamReader>

HLVKnownTagsXMLParser::HLVKnownTagsXMLParser(const QString& filePath)
    : _filePath(filePath)
{
}

bool HLVKnownTagsXMLParser::parse()
{
    QFile file(_filePath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return parseData(file.readAll());
}

bool HLVKnownTagsXMLParser::parseData(const QByteArray& document)
{
    QXmlStreamReader reader(document);
    // Entities are never resolved from outside the document.
    reader.setEntityResolver(nullptr);
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartDocument:
            parserDidStartDocument();
            break;
        case QXmlStreamReader::StartElement:
            parserDidStartElement(reader.name().toString(), reader.attributes());
            break;
        case QXmlStreamReader::Characters:
            parserFoundCharacters(reader.text().toString());
            break;
        case QXmlStreamReader::EndElement:
            parserDidEndElement(reader.name().toString());
            break;
        case QXmlStreamReader::EndDocument:
            parserDidEndDocument();
            break;
        default:
            break;
        }
    }
    if (reader.hasError()) {
        parserParseErrorOccurred();
        return false;
    }
    return true;
}

void HLVKnownTagsXMLParser::parserDidStartDocument()
{
    _elementStack.clear();
}

static bool isTableElement(const QString& name)
{
    return name == QLatin1String("id3Tags") || name == QLatin1String("appleTags") || name == QLatin1String("xiphTags");
}

void HLVKnownTagsXMLParser::parserDidStartElement(const QString& elementName, const QXmlStreamAttributes& attributes)
{
    _elementStack.append(elementName);
    if (isTableElement(elementName)) {
        int count = 64;
        if (attributes.hasAttribute(QLatin1String("count")))
            count = HLVTagValueParser::integerOfText(attributes.value(QLatin1String("count")).toString());
        _knownTagDictionary = HLVKnownTagDetail::Table();
        // The count is only a hint; a wrong one must not cost much or limit the table.
        _knownTagDictionary->reserve(qBound(0, count, 1024));
    }
}

void HLVKnownTagsXMLParser::parserFoundCharacters(const QString& string)
{
    if (_elementStack.isEmpty())
        return;
    const QString& element = _elementStack.last();
    if (element == QLatin1String("identifier")) {
        _identifier += string;
    } else if (element == QLatin1String("knownType")) {
        _knownType = HLVTagValueParser::integerOfText(string);
    } else if (element == QLatin1String("allowsEdit")) {
        if (_identifier.isEmpty() || !_knownTagDictionary)
            return;
        const bool allowEdit = HLVTagValueParser::booleanOfText(string);
        _knownTagDictionary->insert(_identifier,
                                    std::make_shared<const HLVKnownTagDetail>(_identifier, _knownType, allowEdit));
        _identifier.clear();
        _knownType = -1;
    }
}

void HLVKnownTagsXMLParser::parserDidEndElement(const QString& elementName)
{
    if (_knownTagDictionary) {
        if (elementName == QLatin1String("id3Tags"))
            _knownID3Tags = _knownTagDictionary;
        else if (elementName == QLatin1String("appleTags"))
            _knownAppleTags = _knownTagDictionary;
        else if (elementName == QLatin1String("xiphTags"))
            _knownXiphTags = _knownTagDictionary;
    }
    if (!_elementStack.isEmpty())
        _elementStack.removeLast();
}

void HLVKnownTagsXMLParser::parserDidEndDocument()
{
    cleanUp();
}

void HLVKnownTagsXMLParser::parserParseErrorOccurred()
{
    cleanUp();
}

void HLVKnownTagsXMLParser::cleanUp()
{
    _elementStack.clear();
    _knownTagDictionary.reset();
}
