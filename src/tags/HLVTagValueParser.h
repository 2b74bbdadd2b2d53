#pragma once

#include <QString>

// Parsing of the number and flag texts stored in tags ("7/12", "1", "true").
namespace HLVTagValueParser {

// The value read as a "/"-separated path: one trailing slash is ignored and the
// last component is the text after the last remaining slash ("3/12" -> "12",
// "3/" -> "3", "/12" -> "12").
QString lastPathComponent(const QString& value);

// Everything before that last slash ("3/12" -> "3", "/12" -> "/", "3" -> "").
QString deletingLastPathComponent(const QString& value);

// The leading decimal integer after optional white space and sign; 0 when there
// is none; clamped to the 32-bit range.
int integerOfText(const QString& text);

// True when, after white space, an optional sign and leading zeros, the text
// starts with Y, y, T, t or a digit 1 to 9.
bool booleanOfText(const QString& text);

// The text after the last dot of the last path component; empty when none.
QString pathExtension(const QString& path);

} // namespace HLVTagValueParser
