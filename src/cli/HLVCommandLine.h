#pragma once

#include "HLVTagField.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

// The command line of cadrelle-cli, read into one value:
//     cadrelle-cli COMMAND [OPTIONS] PATH...
// Options take their value as "--name value" or "--name=value"; "--" ends
// the options. --help, --version and --quiet are understood everywhere.
class HLVCommandLine
{
public:
    enum class Command { None, Show, Set, Identify, Artwork, Rename, Filter, Recover };

    // A value for one of the set command's field options, as the tag editor
    // would enter it: text as typed (only spaces counts as empty), numbers read.
    struct FieldValue
    {
        const HLVTagField* field = nullptr;
        std::optional<QString> text;
        std::optional<int> number;
    };

    // Reads the arguments after the program name. A usage error leaves error()
    // non-empty; --help and --version win over any error.
    static HLVCommandLine parse(const QStringList& arguments);

    // The help of a command, or of the program for Command::None.
    static QString helpText(Command command);
    static QString versionText();

    Command command() const { return _command; }
    const QString& error() const { return _error; }
    bool wantsHelp() const { return _help; }
    bool wantsVersion() const { return _version; }
    bool quiet() const { return _quiet; }
    bool json() const { return _json; }
    // show: the file's own details too (format, audio, tag kinds, picture).
    bool details() const { return _details; }
    bool apply() const { return _apply; }
    bool dryRun() const { return _dryRun; }
    const QString& structure() const { return _structure; }
    bool filterUntagged() const { return _filter == QLatin1String("untagged"); }
    const QStringList& paths() const { return _paths; }
    // True for a command that never writes a file (show, filter, a dry run, a
    // lookup without --apply).
    bool isReadOnly() const;
    // The AcoustID application key given with --acoustid-key.
    const std::optional<QString>& acoustIDKey() const { return _acoustIDKey; }

    const QList<FieldValue>& fieldValues() const { return _fieldValues; }
    const std::optional<QString>& artwork() const { return _artwork; }
    bool removeArtwork() const { return _removeArtwork; }
    bool clear() const { return _clear; }
    const QList<QPair<QString, QString>>& customValues() const { return _customValues; }
    const QStringList& customRemovals() const { return _customRemovals; }
    // 3 or 4 when --id3v2-version was given: the ID3v2 version MP3 saves write.
    const std::optional<int>& id3v2Version() const { return _id3v2Version; }

    // The number a field option gives: empty (or only spaces) is 0, otherwise
    // decimal digits with optional blanks around them; absent for anything else.
    static std::optional<int> numberOfText(const QString& text);
    // A custom tag identifier the command line accepts: four characters, none of
    // them blank, "=" or a control character, and not the list tag "CTIS".
    static bool isCustomTagIdentifier(const QString& identifier);

private:
    bool readOption(const QString& name, const std::optional<QString>& inlineValue, const QStringList& arguments,
                    qsizetype& index);
    void fail(const QString& message);

    Command _command = Command::None;
    QString _error;
    bool _help = false;
    bool _version = false;
    bool _quiet = false;
    bool _json = false;
    bool _details = false;
    bool _apply = false;
    bool _dryRun = false;
    std::optional<QString> _structureOption;
    QString _structure;
    QString _filter;
    QStringList _paths;
    QList<FieldValue> _fieldValues;
    std::optional<QString> _artwork;
    bool _removeArtwork = false;
    bool _clear = false;
    QList<QPair<QString, QString>> _customValues;
    QStringList _customRemovals;
    std::optional<QString> _acoustIDKey;
    std::optional<int> _id3v2Version;
};
