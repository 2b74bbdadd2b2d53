#include "HLVJsonWriter.h"

namespace {

// Appends the JSON string literal for the UTF-8 text, quotes included.
void appendQuoted(QByteArray& out, const QByteArray& utf8)
{
    out += '"';
    qsizetype plainFrom = 0;
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        // Runs of plain characters go in at once; a show of thousands of files
        // writes hundreds of thousands of strings.
        out.append(utf8.constData() + plainFrom, i - plainFrom);
        plainFrom = i + 1;
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: {
            const char hex[] = "0123456789abcdef";
            const char escape[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xF]};
            out.append(escape, sizeof escape);
        }
        }
    }
    out.append(utf8.constData() + plainFrom, utf8.size() - plainFrom);
    out += '"';
}

} // namespace

QByteArray HLVJsonWriter::quoted(const QString& text)
{
    QByteArray out;
    appendQuoted(out, text.toUtf8());
    return out;
}

void HLVJsonWriter::newLine()
{
    _data += '\n';
    _data.append(2 * (_depth + _levels.size()), ' ');
}

void HLVJsonWriter::beforeValue()
{
    if (_afterKey) {
        _afterKey = false;
        return;
    }
    if (_levels.isEmpty())
        return;
    Level& level = _levels.last();
    if (level.count++ > 0)
        _data += ',';
    newLine();
}

void HLVJsonWriter::open(char bracket)
{
    beforeValue();
    _data += bracket;
    _levels.append(Level{bracket == '{', 0});
}

void HLVJsonWriter::close(char bracket)
{
    if (_levels.isEmpty())
        return;
    const bool hadMembers = _levels.last().count > 0;
    _levels.removeLast();
    if (hadMembers)
        newLine();
    _data += bracket;
    if (_levels.isEmpty() && _depth == 0)
        _data += '\n';
}

void HLVJsonWriter::beginArray()
{
    open('[');
}

void HLVJsonWriter::endArray()
{
    close(']');
}

void HLVJsonWriter::beginObject()
{
    open('{');
}

void HLVJsonWriter::endObject()
{
    close('}');
}

void HLVJsonWriter::key(const QString& name)
{
    beforeValue();
    appendQuoted(_data, name.toUtf8());
    _data += ": ";
    _afterKey = true;
}

void HLVJsonWriter::value(const QString& text)
{
    beforeValue();
    appendQuoted(_data, text.toUtf8());
}

void HLVJsonWriter::value(const std::optional<QString>& text)
{
    if (text)
        value(*text);
    else
        nullValue();
}

void HLVJsonWriter::value(qint64 number)
{
    beforeValue();
    _data += QByteArray::number(number);
}

void HLVJsonWriter::value(bool flag)
{
    beforeValue();
    _data += flag ? "true" : "false";
}

void HLVJsonWriter::nullValue()
{
    beforeValue();
    _data += "null";
}

void HLVJsonWriter::rawValue(const QByteArray& json)
{
    beforeValue();
    _data += json;
}
