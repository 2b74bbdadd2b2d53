#pragma once

#include <QString>
#include <QXmlStreamAttributes>

// Receives the events of one HLVXMLParser run, in document order. Every
// callback is optional. Element names are local names (no namespace prefix).
class HLVXMLParserDelegate
{
public:
    virtual ~HLVXMLParserDelegate() = default;
    virtual void parserDidStartDocument() {}
    virtual void parserDidStartElement(const QString& elementName, const QXmlStreamAttributes& attributes);
    virtual void parserFoundCharacters(const QString& string);
    virtual void parserDidEndElement(const QString& elementName);
    virtual void parserDidEndDocument() {}
};

// An event-driven XML reader over QXmlStreamReader for replies from web services.
//
//     HLVXMLParser parser(QString::fromUtf8(body));
//     parser.setDelegate(this);
//     const bool complete = parser.parse();
//
// Untrusted input stays cheap: external entities are never fetched, internal
// entity expansion is capped, and elements nested deeper than maximumDepth end
// the parse with an error. Text may arrive in several pieces (around CDATA
// sections, for instance); whitespace between elements is delivered as text.
// A delegate may call abortParsing() from any callback; no further event is sent,
// parserDidEndDocument included.
class HLVXMLParser
{
public:
    static constexpr int maximumDepth = 256;
    static constexpr int entityExpansionLimit = 4096;

    explicit HLVXMLParser(QString document);

    void setDelegate(HLVXMLParserDelegate* delegate) { _delegate = delegate; }

    // True when the whole document was read without error and without an abort.
    bool parse();
    void abortParsing() { _aborted = true; }

    bool wasAborted() const { return _aborted; }
    // True when the document is not well-formed, is empty, nests too deep or
    // expands an entity beyond the limit.
    bool hasError() const { return _hasError; }

private:
    QString _document;
    HLVXMLParserDelegate* _delegate = nullptr;
    bool _aborted = false;
    bool _hasError = false;
};
