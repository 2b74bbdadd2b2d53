#include "HLVXMLParser.h"

#include <QXmlStreamReader>

void HLVXMLParserDelegate::parserDidStartElement(const QString&, const QXmlStreamAttributes&) {}
void HLVXMLParserDelegate::parserFoundCharacters(const QString&) {}
void HLVXMLParserDelegate::parserDidEndElement(const QString&) {}

HLVXMLParser::HLVXMLParser(QString document)
    : _document(std::move(document))
{
}

bool HLVXMLParser::parse()
{
    _aborted = false;
    _hasError = false;
    HLVXMLParserDelegate fallbackDelegate;
    HLVXMLParserDelegate& delegate = _delegate ? *_delegate : fallbackDelegate;

    // Built from text, the reader ignores the encoding declaration; it resolves
    // no external entity unless given a resolver, and we give none.
    QXmlStreamReader reader(_document);
    reader.setEntityExpansionLimit(entityExpansionLimit);
    int depth = 0;
    while (!_aborted && !reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartDocument:
            delegate.parserDidStartDocument();
            break;
        case QXmlStreamReader::StartElement:
            if (++depth > maximumDepth) {
                reader.raiseError(QStringLiteral("Elements nest too deeply"));
                break;
            }
            delegate.parserDidStartElement(reader.name().toString(), reader.attributes());
            break;
        case QXmlStreamReader::Characters:
            delegate.parserFoundCharacters(reader.text().toString());
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            delegate.parserDidEndElement(reader.name().toString());
            break;
        case QXmlStreamReader::EndDocument:
            delegate.parserDidEndDocument();
            break;
        default:
            break;
        }
    }
    if (_aborted)
        return false;
    _hasError = reader.hasError();
    return !_hasError;
}
