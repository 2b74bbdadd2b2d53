#pragma once

#include <QString>
#include <optional>
#include <taglib/tstring.h>

// Conversion between our text and TagLib strings.
//
// Values are written as real Unicode so that every other program shows what the
// user typed. Older versions of this program stored the UTF-8 bytes of a value
// as Latin-1 characters; reading recognises that form and decodes it, so those
// files still read right.
namespace HLVTagText {

// A value for a tag: Unicode text, TagLib picks an encoding that can hold it.
TagLib::String toTagLib(const QString& value);

// A value read from a tag (see above for the legacy form).
QString fromTagLib(const TagLib::String& value);

// Like fromTagLib, but an empty library string is absent.
std::optional<QString> presentFromTagLib(const TagLib::String& value);

// Keys, frame identifiers and atom names: their bytes as Latin-1 characters.
TagLib::String keyToTagLib(const QString& key);
QString keyFromTagLib(const TagLib::String& key);

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool isValidUtf8(const char* bytes, qsizetype length);

} // namespace HLVTagText
