#include "HLVJsonWriter.h"

QByteArray HLVJsonWriter::quoted(const QString& text)
{
    QByteArray out;
    out.reserve(text.size() + 2);
    out += '"';
    const QByteArray utf8 = text.toUtf8();
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20)
                out += QByteArray("\\u00") + QByteArray::number(c, 16).rightJustified(2, '0');
            else
                out += ch;
        }
    }
    out += '"';
    return out;
}

void HLVJsonWriter::newLine()
{
    _data += '\n';
    _data += QByteArray(2 * _levels.size(), ' ');
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
    if (_levels.isEmpty())
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
    _data += quoted(name);
    _data += ": ";
    _afterKey = true;
}

void HLVJsonWriter::value(const QString& text)
{
    beforeValue();
    _data += quoted(text);
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
