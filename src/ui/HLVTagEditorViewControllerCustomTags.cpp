// The tag editor's custom tag section: the rows' changes carried into the
// pending maps.

#include "HLVTagEditorViewController.h"
#include "HLVCustomTagEditorViewController.h"
#include "HLVExpandingView.h"
#include "HLVFileData.h"

void HLVTagEditorViewController::applyCustomTagChange(const std::function<void(const std::shared_ptr<HLVFileData>&)>& change)
{
    const QList<std::shared_ptr<HLVFileData>> files = filesShown();
    if (files.isEmpty())
        return;
    for (const auto& file : files)
        change(file);
    tellFileManager();
    tellDelegateOfModification();
}

void HLVTagEditorViewController::customTagEditorViewTagValueModified(HLVCustomTagEditorViewController*,
                                                                     const std::shared_ptr<HLVCustomTagValue>& value)
{
    if (value)
        applyCustomTagChange([&](const auto& file) { modifyTagWithIdentifier(value->identifier(), value->value(), file); });
}

void HLVTagEditorViewController::customTagEditorViewTagWithIdentifierAdded(HLVCustomTagEditorViewController*,
                                                                           const QString& identifier)
{
    applyCustomTagChange([&](const auto& file) { addTagWithIdentifier(identifier, file); });
}

void HLVTagEditorViewController::customTagEditorViewTagWithIdentifierRemoved(HLVCustomTagEditorViewController*,
                                                                             const QString& identifier)
{
    applyCustomTagChange([&](const auto& file) { removeTagWithIdentifier(identifier, file); });
}

namespace {

// The pending custom value with that identifier is replaced (never changed in
// place: the record's copies share their elements); one is appended when missing.
void replaceCustomTagValue(HLVTagMap& map, const QString& identifier,
                           const std::function<std::shared_ptr<HLVCustomTagValue>(const HLVCustomTagValue*)>& make)
{
    auto& values = map.CustomTagValues();
    if (!values)
        values = HLVCustomTagValueArray();
    for (auto& element : *values) {
        if (element && element->identifier().compare(identifier, Qt::CaseInsensitive) == 0) {
            element = make(element.get());
            return;
        }
    }
    values->append(make(nullptr));
}

} // namespace

void HLVTagEditorViewController::modifyTagWithIdentifier(const QString& identifier, const std::optional<QString>& value,
                                                         const std::shared_ptr<HLVFileData>& fileData)
{
    fileData->forceIsModified();
    fileData->editVirtualTagMap([&](HLVTagMap& map) {
        replaceCustomTagValue(map, identifier, [&](const HLVCustomTagValue* existing) {
            return std::make_shared<HLVCustomTagValue>(existing ? existing->identifier() : identifier, value,
                                                       existing && existing->isMarkedForRemoval());
        });
    });
}

void HLVTagEditorViewController::addTagWithIdentifier(const QString& identifier,
                                                      const std::shared_ptr<HLVFileData>& fileData)
{
    fileData->forceIsModified();
    std::optional<QString> initialText;
    if (const auto initial = fileData->InitialTagMap(); initial && initial->CustomTagValues()) {
        if (const auto found = HLVCustomTagValue::customTagValueWithIdentifier(identifier, *initial->CustomTagValues()))
            initialText = found->value();
    }
    fileData->editVirtualTagMap([&](HLVTagMap& map) {
        replaceCustomTagValue(map, identifier, [&](const HLVCustomTagValue* existing) {
            if (existing)
                return std::make_shared<HLVCustomTagValue>(existing->identifier(), existing->value(), false);
            return std::make_shared<HLVCustomTagValue>(identifier, initialText.value_or(QString(QLatin1String(""))));
        });
    });
}

void HLVTagEditorViewController::removeTagWithIdentifier(const QString& identifier,
                                                         const std::shared_ptr<HLVFileData>& fileData)
{
    fileData->forceIsModified();
    fileData->editVirtualTagMap([&](HLVTagMap& map) {
        replaceCustomTagValue(map, identifier, [&](const HLVCustomTagValue* existing) {
            return std::make_shared<HLVCustomTagValue>(existing ? existing->identifier() : identifier,
                                                       QString(QLatin1String("")), true);
        });
    });
}
