#include "HLVStrings.h"

namespace HLVStrings {

bool isNilOrEmpty(const std::optional<QString>& string)
{
    if (!string)
        return true;
    for (QChar c : *string) {
        if (c != QLatin1Char(' '))
            return false;
    }
    return true;
}

QString nonNilString(const std::optional<QString>& string)
{
    return string ? *string : QString();
}

} // namespace HLVStrings
