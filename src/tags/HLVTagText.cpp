#include "HLVTagText.h"

#include <string>

namespace HLVTagText {

TagLib::String toTagLib(const QString& value)
{
    return TagLib::String(value.toUtf8().toStdString(), TagLib::String::UTF8);
}

bool isValidUtf8(const char* bytes, qsizetype length)
{
    const auto* s = reinterpret_cast<const unsigned char*>(bytes);
    qsizetype i = 0;
    while (i < length) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra;
        unsigned int min;
        unsigned int code;
        if ((c & 0xE0) == 0xC0) { extra = 1; min = 0x80; code = c & 0x1F; }
        else if ((c & 0xF0) == 0xE0) { extra = 2; min = 0x800; code = c & 0x0F; }
        else if ((c & 0xF8) == 0xF0) { extra = 3; min = 0x10000; code = c & 0x07; }
        else return false;
        if (i + extra >= length)
            return false;
        for (int k = 1; k <= extra; ++k) {
            const unsigned char cc = s[i + k];
            if ((cc & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (cc & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

QString fromTagLib(const TagLib::String& value)
{
    if (value.isEmpty())
        return QString();
    bool latin1 = true;
    bool highByte = false;
    for (auto it = value.begin(); it != value.end(); ++it) {
        const auto c = static_cast<unsigned int>(*it);
        if (c > 0xFF) {
            latin1 = false;
            break;
        }
        if (c >= 0x80)
            highByte = true;
    }
    if (!latin1)
        return QString::fromStdWString(value.toWString());
    const std::string bytes = value.to8Bit(false);
    if (highByte && isValidUtf8(bytes.data(), qsizetype(bytes.size())))
        return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}

std::optional<QString> presentFromTagLib(const TagLib::String& value)
{
    if (value.isEmpty())
        return std::nullopt;
    return fromTagLib(value);
}

TagLib::String keyToTagLib(const QString& key)
{
    return TagLib::String(key.toLatin1().toStdString(), TagLib::String::Latin1);
}

QString keyFromTagLib(const TagLib::String& key)
{
    const std::string bytes = key.to8Bit(false);
    return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}

} // namespace HLVTagText
