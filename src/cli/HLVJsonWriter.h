#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// Writes JSON text with the members of each object in the order they are
// given (QJsonObject sorts them), indented by two spaces per level. The caller
// keeps the nesting right: key() before every value inside an object.
class HLVJsonWriter
{
public:
    // depth: how deep inside another writer's text this one's values will
    // stand (see rawValue()); 0 for a document of its own.
    explicit HLVJsonWriter(int depth = 0) : _depth(depth) {}

    void beginArray();
    void endArray();
    void beginObject();
    void endObject();

    void key(const QString& name);
    void value(const QString& text);
    void value(const std::optional<QString>& text); // null when absent
    void value(qint64 number);
    void value(int number) { value(qint64(number)); }
    void value(bool flag);
    void value(const char*) = delete; // would silently become a bool
    void nullValue();
    // A value another writer wrote, whose depth was this writer's current one.
    void rawValue(const QByteArray& json);

    // The text so far, UTF-8, ending with a line break once the outermost value is closed.
    QByteArray data() const { return _data; }

    // The JSON string literal for a text, quotes included.
    static QByteArray quoted(const QString& text);

private:
    void beforeValue();
    void open(char bracket);
    void close(char bracket);
    void newLine();

    struct Level
    {
        bool isObject = false;
        int count = 0;
    };
    QByteArray _data;
    QList<Level> _levels;
    int _depth = 0;
    bool _afterKey = false;
};
