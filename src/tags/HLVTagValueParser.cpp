#include "HLVTagValueParser.h"

#include <limits>

namespace HLVTagValueParser {

namespace {

QString withoutTrailingSlash(const QString& value)
{
    if (value.size() > 1 && value.endsWith(QLatin1Char('/')))
        return value.left(value.size() - 1);
    return value;
}

// Index of the first character after white space and an optional sign.
qsizetype skipSpaceAndSign(const QString& text, bool* negative)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    *negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        *negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    return i;
}

} // namespace

QString lastPathComponent(const QString& value)
{
    const QString path = withoutTrailingSlash(value);
    if (path == QLatin1String("/"))
        return path;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

QString deletingLastPathComponent(const QString& value)
{
    const QString path = withoutTrailingSlash(value);
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString();
    if (slash == 0)
        return QStringLiteral("/");
    return path.left(slash);
}

int integerOfText(const QString& text)
{
    bool negative = false;
    qsizetype i = skipSpaceAndSign(text, &negative);
    long long value = 0;
    bool clamped = false;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        if (!clamped) {
            value = value * 10 + (c.unicode() - '0');
            if (value > std::numeric_limits<int>::max() + 1LL)
                clamped = true;
        }
    }
    if (negative)
        value = -value;
    if (clamped || value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min())
        return negative ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
    return int(value);
}

bool booleanOfText(const QString& text)
{
    bool negative = false;
    qsizetype i = skipSpaceAndSign(text, &negative);
    while (i < text.size() && text.at(i) == QLatin1Char('0'))
        ++i;
    if (i >= text.size())
        return false;
    const QChar c = text.at(i);
    return c == QLatin1Char('Y') || c == QLatin1Char('y') || c == QLatin1Char('T') || c == QLatin1Char('t')
        || (c >= QLatin1Char('1') && c <= QLatin1Char('9'));
}

QString pathExtension(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString name = slash < 0 ? path : path.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1);
}

} // namespace HLVTagValueParser
