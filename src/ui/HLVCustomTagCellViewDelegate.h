#pragma once

#include <QString>

// The list that holds custom tag rows: it decides on new identifiers and hears
// of removals and typed values. Not owned by the row.
class HLVCustomTagCellViewDelegate
{
public:
    virtual ~HLVCustomTagCellViewDelegate() = default;

    // Whether the row may take the new identifier itself (the old one is empty on the entry row).
    virtual bool allowToUpdateIdentifierFrom(const QString& oldIdentifier, const QString& newIdentifier) = 0;
    virtual void removeCustomTagSelected(const QString& identifier) = 0;
    virtual void customTagWithIdentifierValueUpdated(const QString& identifier, const QString& value) = 0;
};
