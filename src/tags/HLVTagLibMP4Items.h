#pragma once

#include <QString>
#include <optional>
#include <taglib/mp4item.h>
#include <taglib/mp4tag.h>
#include <taglib/tstring.h>

// Atom names and item values of MPEG-4 item lists, shared by the MP4 reader and writer.
namespace HLVTagLibMP4Items {

// The item key for a four-character atom identifier. Identifiers are typed by
// users and stored in files as plain text, so a leading "x" stands for the
// byte 0xA9 that starts the classic atoms ("xnam" is the title atom).
TagLib::String atomKey(const QString& identifier);

// The item under a key, or null when the map has none. Map::operator[] would
// insert a default item into a shared map, so lookups go through here.
const TagLib::MP4::Item* findItem(const TagLib::MP4::ItemMap& itemMap, const TagLib::String& key);

// TagLib stores the value of some atoms as numbers, flags or pictures whatever
// item it is handed, so text set under those keys is written as zeros or
// garbage. Custom tags can name any atom; these two convert between their text
// and the item kind the atom holds.

// The text of a number, flag or number-pair atom ("120", "1", "3/12"); absent
// for other atoms, which hold text or pictures.
std::optional<QString> numericItemText(const TagLib::String& key, const TagLib::MP4::Item& item);

// The item to store a custom tag's text under a key: a string list for text
// atoms, the parsed number, flag or pair for numeric ones; absent for atoms
// that cannot hold text at all (pictures, genre codes), which must be left alone.
std::optional<TagLib::MP4::Item> itemFromText(const TagLib::String& key, const QString& text);

} // namespace HLVTagLibMP4Items
