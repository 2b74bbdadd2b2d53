#pragma once

#include <QString>
#include <optional>

// Small helpers for optional strings, used wherever a tag value may be absent.
namespace HLVStrings {

// True for an absent string and for one made only of spaces (U+0020), the empty string included.
bool isNilOrEmpty(const std::optional<QString>& string);

// The string itself, or the empty string when absent.
QString nonNilString(const std::optional<QString>& string);

} // namespace HLVStrings
