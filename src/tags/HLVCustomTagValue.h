#pragma once

#include <QList>
#include <QString>
#include <memory>
#include <optional>

// One custom tag of a file: a raw tag identifier, its value and a mark that the
// next save should take it off the file's custom-tag list. Shared between the
// copies of a tag map, so an edit through one copy shows in the others.
class HLVCustomTagValue
{
public:
    explicit HLVCustomTagValue(const QString& identifier);
    HLVCustomTagValue(const QString& identifier, const std::optional<QString>& value);
    HLVCustomTagValue(const QString& identifier, const std::optional<QString>& value, bool markedForRemoval);

    const QString& identifier() const { return _identifier; }
    const std::optional<QString>& value() const { return _value; }
    void setValue(const std::optional<QString>& value) { _value = value; }
    bool isMarkedForRemoval() const { return _isMarkedForRemoval; }
    void setIsMarkedForRemoval(bool marked) { _isMarkedForRemoval = marked; }

    // The first element whose identifier matches, ignoring letter case; null when none.
    static std::shared_ptr<HLVCustomTagValue> customTagValueWithIdentifier(
        const QString& identifier, const QList<std::shared_ptr<HLVCustomTagValue>>& array);

private:
    void initializeWithIdentifier(const QString& identifier, const std::optional<QString>& value, bool markedForRemoval);

    QString _identifier;
    std::optional<QString> _value;
    bool _isMarkedForRemoval = false;
};

using HLVCustomTagValueArray = QList<std::shared_ptr<HLVCustomTagValue>>;
