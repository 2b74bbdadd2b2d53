#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The ordered list of a file's custom tag identifiers, stored in the file under
// "CTIS" as each identifier followed by a comma ("TXXX,TCOP,"). Identifiers have
// exactly four characters and occur once; anything else is silently ignored.
class HLVCustomTagIdentifierString
{
public:
    HLVCustomTagIdentifierString() = default;
    explicit HLVCustomTagIdentifierString(const std::optional<QString>& ctiString);

    // Adds the identifiers found in a stored text; does not clear the list first.
    void setCTIString(const QString& text);
    QString stringValue() const;

    QStringList tagIdentifiers() const { return _tagIdentifiers; }
    void setTagIdentifiers(const QStringList& identifiers);
    QStringList& tagIdentifierArray() { return _tagIdentifiers; }

    void addTagIdentifier(const QString& identifier);
    void addTagIdentifiers(const QStringList& identifiers);
    void removeTagIdentifier(const QString& identifier);
    void removeTagIdentifiers(const QStringList& identifiers);

private:
    QStringList _tagIdentifiers;
};
