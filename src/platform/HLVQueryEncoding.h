#pragma once

#include <QString>

// Percent-encoding for the query part of web service addresses.
namespace HLVQueryEncoding {

// Encodes everything outside the characters allowed in a URL query: spaces
// become %20, while ! $ & ' ( ) * + , - . / : ; = ? @ _ ~ and alphanumerics stay.
// For the program's own query syntax.
QString encodeQuery(const QString& text);

// Like encodeQuery, but also encodes & + = ? (and, as always, # and %), so a
// value taken from a tag or a reply stays one value: "Simon & Garfunkel" cannot
// split the query into two parameters.
QString encodeValue(const QString& text);

} // namespace HLVQueryEncoding
