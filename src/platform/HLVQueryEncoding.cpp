#include "HLVQueryEncoding.h"

#include <QByteArray>

namespace HLVQueryEncoding {

QString encodeQuery(const QString& text)
{
    // Letters, digits and - . _ ~ are never encoded; these are the rest of the query set.
    return QString::fromLatin1(text.toUtf8().toPercentEncoding("!$&'()*+,/:;=?@"));
}

QString encodeValue(const QString& text)
{
    return QString::fromLatin1(text.toUtf8().toPercentEncoding("!$'()*,/:;@"));
}

} // namespace HLVQueryEncoding
