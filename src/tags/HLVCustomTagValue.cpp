#include "HLVCustomTagValue.h"

HLVCustomTagValue::HLVCustomTagValue(const QString& identifier)
{
    initializeWithIdentifier(identifier, std::nullopt, false);
}

HLVCustomTagValue::HLVCustomTagValue(const QString& identifier, const std::optional<QString>& value)
{
    initializeWithIdentifier(identifier, value, false);
}

HLVCustomTagValue::HLVCustomTagValue(const QString& identifier, const std::optional<QString>& value,
                                     bool markedForRemoval)
{
    initializeWithIdentifier(identifier, value, markedForRemoval);
}

void HLVCustomTagValue::initializeWithIdentifier(const QString& identifier, const std::optional<QString>& value,
                                                 bool markedForRemoval)
{
    _identifier = identifier;
    _value = value;
    _isMarkedForRemoval = markedForRemoval;
}

std::shared_ptr<HLVCustomTagValue> HLVCustomTagValue::customTagValueWithIdentifier(
    const QString& identifier, const QList<std::shared_ptr<HLVCustomTagValue>>& array)
{
    const QString wanted = identifier.toUpper();
    for (const auto& element : array) {
        if (element && element->identifier().toUpper() == wanted)
            return element;
    }
    return nullptr;
}
