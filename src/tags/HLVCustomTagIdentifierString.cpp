#include "HLVCustomTagIdentifierString.h"

HLVCustomTagIdentifierString::HLVCustomTagIdentifierString(const std::optional<QString>& ctiString)
{
    if (ctiString)
        setCTIString(*ctiString);
}

void HLVCustomTagIdentifierString::setCTIString(const QString& text)
{
    if (text.size() <= 4 || !text.contains(QLatin1Char(',')))
        return;
    const QStringList pieces = text.split(QLatin1Char(','));
    for (const QString& piece : pieces)
        addTagIdentifier(piece);
}

QString HLVCustomTagIdentifierString::stringValue() const
{
    QString text;
    for (const QString& identifier : _tagIdentifiers) {
        text += identifier;
        text += QLatin1Char(',');
    }
    return text;
}

void HLVCustomTagIdentifierString::setTagIdentifiers(const QStringList& identifiers)
{
    _tagIdentifiers.clear();
    addTagIdentifiers(identifiers);
}

void HLVCustomTagIdentifierString::addTagIdentifier(const QString& identifier)
{
    if (identifier.size() == 4 && !_tagIdentifiers.contains(identifier))
        _tagIdentifiers.append(identifier);
}

void HLVCustomTagIdentifierString::addTagIdentifiers(const QStringList& identifiers)
{
    for (const QString& identifier : identifiers)
        addTagIdentifier(identifier);
}

void HLVCustomTagIdentifierString::removeTagIdentifier(const QString& identifier)
{
    if (identifier.size() == 4)
        _tagIdentifiers.removeAll(identifier);
}

void HLVCustomTagIdentifierString::removeTagIdentifiers(const QStringList& identifiers)
{
    for (const QString& identifier : identifiers)
        removeTagIdentifier(identifier);
}
