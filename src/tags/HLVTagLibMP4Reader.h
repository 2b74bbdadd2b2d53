#pragma once

#include "HLVTagLibReader.h"

#include <QByteArray>
#include <optional>
#include <taglib/mp4tag.h>

// Reads MPEG-4 audio (mp4, m4a, m4p) files: the generic fields, then the item
// list (album artist, track and disc pairs, composer, grouping, compilation,
// cover and custom tags).
class HLVTagLibMP4Reader : public HLVTagLibReader
{
public:
    // False also for a readable file without an item list; only an unreadable
    // one gets a failure reason.
    bool readTagsFromFileAtPath(const QString& path, HLVTagMap& tagMap, HLVFailure* failure = nullptr) override;

    // Absent when the file cannot be read or its item list is empty.
    std::optional<QString> readTagWithIdentifier(const QString& identifier, const QString& path) override;

    // The first string of an item ("x" stands for 0xA9); the empty string when
    // the item is missing or holds no text. Numeric atoms answer their number
    // as text, so that custom tags naming them survive a read and a save.
    // Says why TagLib cannot read a file: the damage its boxes show when it
    // begins as MPEG-4, else that it is no MPEG-4 audio file.
    static bool reportUnreadable(const QString& path, HLVFailure* failure);

    static QString readMP4TextValueForAtom(const QString& identifier, const TagLib::MP4::ItemMap& itemMap);

    // A number pair as "N" or "N/T"; empty when missing or when N is 0.
    static QString readMP4UIntPairForAtom(const QString& identifier, const TagLib::MP4::ItemMap& itemMap);

    // The pair itself, (0, 0) when missing.
    static TagLib::MP4::Item::IntPair readMP4IntPairForAtom(const QString& identifier,
                                                           const TagLib::MP4::ItemMap& itemMap);

    // The item's flag; false when missing.
    static bool readMP4BoolValueForAtom(const QString& identifier, const TagLib::MP4::ItemMap& itemMap);

    // The bytes of the first cover; empty when there is none.
    static QByteArray readMP4CoverImageFromItemMap(const TagLib::MP4::ItemMap& itemMap);

    // The stored "CTIS" text; absent when missing or empty.
    static std::optional<QString> readCustomTagIdentifierStringInItemMap(const TagLib::MP4::ItemMap& itemMap);
};
