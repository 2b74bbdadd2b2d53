#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <ostream>

// Readable failure messages for Qt strings in test assertions.
inline void PrintTo(const QString& string, std::ostream* out)
{
    *out << '"' << string.toStdString() << '"';
}

inline void PrintTo(const std::optional<QString>& string, std::ostream* out)
{
    if (string)
        PrintTo(*string, out);
    else
        *out << "(absent)";
}

inline void PrintTo(const QStringList& list, std::ostream* out)
{
    *out << '[';
    for (qsizetype i = 0; i < list.size(); ++i)
        *out << (i ? ", " : "") << '"' << list.at(i).toStdString() << '"';
    *out << ']';
}
