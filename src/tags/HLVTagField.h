#pragma once

#include "HLVTagMap.h"

#include <QList>
#include <QString>
#include <optional>

// One of the fourteen fields a user sees and edits, in the order the file
// record merges them: its name in the tag map (the key of the JSON output),
// the set command's option, and access to the value in a map.
struct HLVTagField
{
    QString key;    // "TrackName"
    QString option; // "title", without the dashes
    bool numeric = false;
    std::optional<QString> (*text)(const HLVTagMap&) = nullptr;
    void (*setText)(HLVTagMap&, const std::optional<QString>&) = nullptr;
    std::optional<int> (*number)(const HLVTagMap&) = nullptr;
    void (*setNumber)(HLVTagMap&, const std::optional<int>&) = nullptr;

    static const QList<HLVTagField>& all();
    static const HLVTagField* withOption(const QString& option);
    static const HLVTagField* withKey(const QString& key);
};
