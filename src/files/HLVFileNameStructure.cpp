#include "HLVFileNameStructure.h"

#include <QSettings>
#include <QStringList>

namespace {

const char* const kNames[] = {"Album Name", "Artist", "Composer", "Disc Number", "Disc Total", "Genre",
                              "Grouping", "Title", "Track Number", "Track Total", "Year"};

const char* const kPreferencesKey = "StoredFileNameStructure";

} // namespace

HLVFileNameStructure::HLVFileNameStructure() = default;

HLVFileNameStructure::HLVFileNameStructure(int first, int middle, int last)
    : _firstComponent(first)
    , _middleComponent(middle)
    , _lastComponent(last)
{
}

HLVFileNameStructure HLVFileNameStructure::initWithComponentStrings(const QString& first, const QString& middle,
                                                                    const QString& last)
{
    return HLVFileNameStructure(identifierForStringValue(first), identifierForStringValue(middle),
                                identifierForStringValue(last));
}

HLVFileNameStructure HLVFileNameStructure::initWithStringValue(const std::optional<QString>& text)
{
    HLVFileNameStructure structure;
    structure.setStringValue(text);
    return structure;
}

QString HLVFileNameStructure::stringValueForIdentifier(int identifier)
{
    if (identifier < 1 || identifier > 11)
        return QString();
    return QString::fromLatin1(kNames[identifier - 1]);
}

int HLVFileNameStructure::identifierForStringValue(const std::optional<QString>& name)
{
    if (!name)
        return 0;
    const QString trimmed = name->trimmed();
    if (trimmed.isEmpty())
        return 0;
    for (int identifier = 1; identifier <= 11; ++identifier) {
        if (trimmed == QLatin1String(kNames[identifier - 1]))
            return identifier;
    }
    return 0;
}

QString HLVFileNameStructure::stringValue() const
{
    QString text;
    if (_firstComponent)
        text += stringValueForIdentifier(_firstComponent);
    for (int component : {_middleComponent, _lastComponent}) {
        if (!component)
            continue;
        if (!text.isEmpty())
            text += QLatin1String(" - ");
        text += stringValueForIdentifier(component);
    }
    return text;
}

void HLVFileNameStructure::setStringValue(const std::optional<QString>& text)
{
    _firstComponent = _middleComponent = _lastComponent = 0;
    if (!text)
        return;
    const QString trimmed = text->trimmed();
    if (!trimmed.contains(QLatin1Char('-'))) {
        _lastComponent = identifierForStringValue(trimmed);
        return;
    }
    const QStringList parts = trimmed.split(QLatin1Char('-'));
    int* targets[] = {&_lastComponent, &_middleComponent, &_firstComponent};
    int slot = 0;
    for (int position = 2; position >= 0; --position) {
        if (position < parts.size())
            *targets[slot++] = identifierForStringValue(parts.at(position));
    }
}

HLVFileNameStructure HLVFileNameStructure::storedStructure()
{
    const QVariant value = QSettings().value(QLatin1String(kPreferencesKey));
    if (!value.isValid())
        return HLVFileNameStructure();
    return initWithStringValue(value.toString());
}

void HLVFileNameStructure::storeStructure(const std::optional<HLVFileNameStructure>& structure)
{
    QSettings().setValue(QLatin1String(kPreferencesKey),
                         structure ? structure->stringValue() : QStringLiteral("Title"));
}
