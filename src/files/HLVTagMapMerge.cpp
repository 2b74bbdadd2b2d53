#include "HLVTagMapMerge.h"
#include "HLVTagField.h"

namespace HLVTagMapMerge {

HLVCustomTagValueArray mergedCustomTagValues(const HLVTagMap& initial, const HLVTagMap& pending)
{
    HLVCustomTagValueArray values;
    QStringList seen;
    if (pending.CustomTagValues()) {
        for (const auto& value : *pending.CustomTagValues()) {
            values.append(value);
            seen.append(value->identifier());
        }
    }
    if (initial.CustomTagValues()) {
        for (const auto& value : *initial.CustomTagValues()) {
            if (!seen.contains(value->identifier()))
                values.append(value);
        }
    }
    return values;
}

std::shared_ptr<HLVTagMap> merged(const HLVTagMap& initial, const HLVTagMap* pending)
{
    auto result = std::make_shared<HLVTagMap>(initial);
    if (!pending)
        return result;
    HLVTagMap& m = *result;
    for (const HLVTagField& field : HLVTagField::all()) {
        if (field.numeric) {
            if (const auto value = field.number(*pending))
                field.setNumber(m, value);
        } else if (const auto value = field.text(*pending)) {
            field.setText(m, value);
        }
    }
    // A changed picture reaches the merged map only as a path; state 4 without
    // a path means the file is to have none.
    m.setArtwork(pending->Artwork());
    m.setArtworkPath(pending->ArtworkPath());
    if (!pending->ArtworkPath() && pending->ArtworkState() != HLVArtworkStateRemove)
        m.setArtwork(initial.Artwork());
    m.setArtworkAttempted(pending->ArtworkAttempted());
    m.setArtworkState(pending->ArtworkState());
    m.setCustomTagValues(mergedCustomTagValues(initial, *pending));
    m.setCustomTagIdentifierString(pending->CustomTagIdentifierString() ? pending->CustomTagIdentifierString()
                                                                        : initial.CustomTagIdentifierString());
    return result;
}

bool changesAnything(const HLVTagMap& pending)
{
    for (const HLVTagField& field : HLVTagField::all()) {
        if (field.numeric ? field.number(pending).has_value() : field.text(pending).has_value())
            return true;
    }
    return pending.ArtworkState() != HLVArtworkStateNone && pending.ArtworkState() != HLVArtworkStateInFile;
}

std::shared_ptr<HLVTagMap> detachedCopy(const HLVTagMap& map)
{
    auto copy = std::make_shared<HLVTagMap>(map);
    if (copy->CustomTagValues()) {
        for (auto& value : *copy->CustomTagValues())
            value = std::make_shared<HLVCustomTagValue>(*value);
    }
    return copy;
}

} // namespace HLVTagMapMerge
