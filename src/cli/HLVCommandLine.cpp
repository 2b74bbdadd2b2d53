#include "HLVCommandLine.h"
#include "HLVFileNameStructure.h"
#include "HLVStrings.h"

#include <limits>

#ifndef CADRELLE_VERSION
#define CADRELLE_VERSION "unknown"
#endif

namespace {

struct CommandName
{
    const char* name;
    HLVCommandLine::Command command;
};

const CommandName kCommands[] = {
    {"show", HLVCommandLine::Command::Show},         {"set", HLVCommandLine::Command::Set},
    {"identify", HLVCommandLine::Command::Identify}, {"artwork", HLVCommandLine::Command::Artwork},
    {"rename", HLVCommandLine::Command::Rename},     {"filter", HLVCommandLine::Command::Filter},
    {"recover", HLVCommandLine::Command::Recover},
};

const char* kProgramHelp = R"(Usage: cadrelle-cli COMMAND [OPTIONS] PATH...

Reads and writes the tags of MP3, MPEG-4 audio (mp4, m4a, m4b, m4p) and FLAC files.
A PATH that is a folder stands for every such file below it, at any depth
(symbolic links are skipped).

Commands:
  show      print the tags of each file
  set       change tags and save them
  identify  identify files by their sound (AcoustID, MusicBrainz)
  artwork   look up cover art at the Cover Art Archive
  rename    rename files from their tags
  filter    list the untagged or the partially tagged files
  recover   undo or set aside what an interrupted save left

Options everywhere:
  -h, --help     this help, or a command's with "cadrelle-cli COMMAND --help"
  --version      the program's version
  -q, --quiet    no progress line on standard error

Exit status: 0 when every file succeeded, 1 when any failed (each is named on
standard error with the reason), 2 for a usage error.
)";

const char* kShowHelp = R"(Usage: cadrelle-cli show [--json] [--details] PATH...

Prints the tags of each file: the path on a line of its own, then one line per
tag present, a tab, the field name, a tab and the value ("Artwork" gives the
picture's size, "Custom ID" a custom tag, "MissingTagScore" how many of the
scored tags are missing, out of 10). Tabs, line breaks and backslashes inside
values are written as \t, \n and \\.

  --json     one JSON array with an object per file: "path", "readOnly", "tags"
             (absent fields left out), "artwork" ({"present", "width",
             "height"}), "customTags" (identifier to value, in list order) and
             "missingTagScore"
  --details  also the file's own details, after the tags: "Format", "Codec",
             "Length" (seconds), "BitRate" (kbit/s), "SampleRate" (Hz),
             "Channels", "BitsPerSample", "Tags" (the kinds of tag the file
             holds, e.g. "ID3v2.4, ID3v1"), "Picture" (type, format, width x
             height and bytes of the first picture, and how many there are),
             "FileSize" (bytes) and "Folder"; with --json an object "details"
             with the same facts ("lengthMilliseconds", "bitRate", ...; null
             where the file does not say)
)";

const char* kSetHelp = R"(Usage: cadrelle-cli set [FIELD OPTIONS] PATH...

Changes the tags of every file and saves them. An empty text writes the empty
text; an empty number writes 0.

  --title TEXT          --artist TEXT         --album TEXT
  --album-artist TEXT   --genre TEXT          --composer TEXT
  --grouping TEXT       --comment TEXT
  --year N              --track N             --track-total N
  --disc N              --disc-total N        --compilation 0|1
  --artwork FILE_OR_URL  embed this picture (a local file or an http(s) address)
  --remove-artwork       remove the picture
  --custom ID=VALUE      set a custom tag (repeatable)
  --remove-custom ID     remove a custom tag (repeatable)
  --clear                remove every tag first, as the window's Remove Tags
                         command does (custom tags and the compilation flag stay)
  --id3v2-version 3|4    write MP3 tags as ID3v2.3 (for older players) or
                         ID3v2.4; the default is the ID3v2Version preference (4)

Prints each saved file's path, a tab and "saved".
)";

const char* kIdentifyHelp = R"(Usage: cadrelle-cli identify [--json] [--apply] [--acoustid-key KEY] PATH...

Identifies each file that still lacks tags by its acoustic fingerprint. Prints
the path, a tab and the outcome (identified, failed, skipped or read-only),
then one line per candidate, in order: a tab, then album, album artist,
artist, title, year, track/total, disc/total, genre and release id, separated
by tabs (empty when absent).

  --json    one JSON array with an object per file: "path", "outcome" and
            "candidates" (objects keyed like show's "tags", plus "ReleaseMBID")
  --apply   save the first candidate of each identified file, with its cover art
  --acoustid-key KEY
            the AcoustID application key to use (register one at
            https://acoustid.org/new-application); else CADRELLE_ACOUSTID_KEY
            or the preference AcoustIDApplicationKey
)";

const char* kArtworkHelp = R"(Usage: cadrelle-cli artwork [--apply] PATH...

Looks up the cover art of each file and prints the path, a tab and the
address found (or "none").

  --apply   embed the picture found and save
)";

const char* kRenameHelp = R"(Usage: cadrelle-cli rename --structure TEXT [--dry-run] PATH...

Renames each file from its saved tags. TEXT names up to three fields joined by
" - ", from: Album Name, Artist, Composer, Disc Number, Disc Total, Genre,
Grouping, Title, Track Number, Track Total, Year (for example "Artist - Title").
Prints the old path, a tab and the new path, or "unchanged".

  --structure TEXT   the new names' structure
  --dry-run          print what would happen and change nothing
)";

const char* kFilterHelp = R"(Usage: cadrelle-cli filter untagged|partial PATH...

Prints the path of each file that falls under the filter: untagged (every
scored tag missing) or partial (some missing).
)";

const char* kRecoverHelp = R"(Usage: cadrelle-cli recover PATH...

Undoes what an interrupted save left beside each file, where it can prove the
file is the one that save was changing; otherwise leaves the file as it is and
keeps the leftover as a visible file named FILE.cadrelle-interrupted-DATE,
named on standard error (exit status 1). Prints the path, a tab and what was
done: "nothing to do", "restored", "finished", "removed leftovers" or "set aside".
Other commands that only read (show, filter, rename --dry-run) never recover:
they say when a file has something to recover.
)";

bool takesValue(const QString& name)
{
    if (HLVTagField::withOption(name))
        return true;
    return name == QLatin1String("artwork") || name == QLatin1String("custom")
        || name == QLatin1String("remove-custom") || name == QLatin1String("structure")
        || name == QLatin1String("acoustid-key")
        || name == QLatin1String("id3v2-version");
}

} // namespace

QString HLVCommandLine::versionText()
{
    return QStringLiteral("cadrelle-cli %1\n").arg(QLatin1String(CADRELLE_VERSION));
}

QString HLVCommandLine::helpText(Command command)
{
    switch (command) {
    case Command::None: return QString::fromUtf8(kProgramHelp);
    case Command::Show: return QString::fromUtf8(kShowHelp);
    case Command::Set: return QString::fromUtf8(kSetHelp);
    case Command::Identify: return QString::fromUtf8(kIdentifyHelp);
    case Command::Artwork: return QString::fromUtf8(kArtworkHelp);
    case Command::Rename: return QString::fromUtf8(kRenameHelp);
    case Command::Filter: return QString::fromUtf8(kFilterHelp);
    case Command::Recover: return QString::fromUtf8(kRecoverHelp);
    }
    return QString();
}

bool HLVCommandLine::isReadOnly() const
{
    switch (_command) {
    case Command::Show:
    case Command::Filter: return true;
    case Command::Rename: return _dryRun;
    case Command::Identify:
    case Command::Artwork: return !_apply;
    default: return false;
    }
}

std::optional<int> HLVCommandLine::numberOfText(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return 0;
    for (const QChar c : trimmed) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    bool ok = false;
    const qlonglong value = trimmed.toLongLong(&ok);
    if (!ok || value > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(value);
}

bool HLVCommandLine::isCustomTagIdentifier(const QString& identifier)
{
    if (identifier.size() != 4 || identifier.compare(QLatin1String("CTIS"), Qt::CaseInsensitive) == 0)
        return false;
    for (const QChar c : identifier) {
        if (c.isSpace() || c == QLatin1Char('=') || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

void HLVCommandLine::fail(const QString& message)
{
    if (_error.isEmpty())
        _error = message;
}

HLVCommandLine HLVCommandLine::parse(const QStringList& arguments)
{
    HLVCommandLine line;
    bool optionsEnded = false;
    QStringList positional;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (optionsEnded || argument == QLatin1String("-") || !argument.startsWith(QLatin1Char('-'))) {
            if (line._command == Command::None && !optionsEnded) {
                for (const CommandName& entry : kCommands) {
                    if (argument == QLatin1String(entry.name))
                        line._command = entry.command;
                }
                if (line._command == Command::None)
                    line.fail(QStringLiteral("unknown command \"%1\"").arg(argument));
                continue;
            }
            positional.append(argument);
            continue;
        }
        if (argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (argument == QLatin1String("-h")) {
            line._help = true;
            continue;
        }
        if (argument == QLatin1String("-q")) {
            line._quiet = true;
            continue;
        }
        if (!argument.startsWith(QLatin1String("--"))) {
            line.fail(QStringLiteral("unknown option \"%1\"").arg(argument));
            continue;
        }
        QString name = argument.mid(2);
        std::optional<QString> inlineValue;
        if (const qsizetype equals = name.indexOf(QLatin1Char('=')); equals >= 0) {
            inlineValue = name.mid(equals + 1);
            name.truncate(equals);
        }
        line.readOption(name, inlineValue, arguments, i);
    }
    if (line._help || line._version)
        return line;
    if (line._command == Command::None) {
        line.fail(QStringLiteral("no command given"));
        return line;
    }
    if (line._command == Command::Filter) {
        if (positional.isEmpty()) {
            line.fail(QStringLiteral("filter needs \"untagged\" or \"partial\""));
            return line;
        }
        line._filter = positional.takeFirst();
        if (line._filter != QLatin1String("untagged") && line._filter != QLatin1String("partial"))
            line.fail(QStringLiteral("unknown filter \"%1\": use untagged or partial").arg(line._filter));
    }
    if (line._command == Command::Rename) {
        if (!line._structureOption) {
            line.fail(QStringLiteral("rename needs --structure"));
        } else {
            // The structure's own parser drops what it does not know; a typing
            // slip must not rename files by fewer fields than meant.
            const QStringList parts = line._structureOption->split(QLatin1Char('-'));
            if (parts.size() > 3)
                line.fail(QStringLiteral("--structure names at most three fields"));
            for (const QString& part : parts) {
                if (!HLVFileNameStructure::identifierForStringValue(part))
                    line.fail(QStringLiteral("--structure: unknown field \"%1\"").arg(part.trimmed()));
            }
            line._structure = *line._structureOption;
        }
    }
    if (line._command == Command::Set && line._fieldValues.isEmpty() && !line._artwork && !line._removeArtwork
        && !line._clear && line._customValues.isEmpty() && line._customRemovals.isEmpty())
        line.fail(QStringLiteral("set needs at least one field option"));
    if (line._artwork && line._removeArtwork)
        line.fail(QStringLiteral("--artwork and --remove-artwork exclude each other"));
    for (const auto& custom : std::as_const(line._customValues)) {
        for (const QString& removal : std::as_const(line._customRemovals)) {
            if (custom.first.compare(removal, Qt::CaseInsensitive) == 0)
                line.fail(QStringLiteral("custom tag %1 is both set and removed").arg(removal));
        }
    }
    if (positional.isEmpty())
        line.fail(QStringLiteral("no PATH given"));
    line._paths = positional;
    return line;
}

bool HLVCommandLine::readOption(const QString& name, const std::optional<QString>& inlineValue,
                                const QStringList& arguments, qsizetype& index)
{
    // Options that belong to every command.
    if (name == QLatin1String("help") || name == QLatin1String("version") || name == QLatin1String("quiet")) {
        if (inlineValue) {
            fail(QStringLiteral("--%1 takes no value").arg(name));
            return false;
        }
        (name == QLatin1String("help") ? _help : name == QLatin1String("version") ? _version : _quiet) = true;
        return true;
    }

    std::optional<QString> value = inlineValue;
    if (takesValue(name) && !value) {
        if (index + 1 >= arguments.size()) {
            fail(QStringLiteral("--%1 needs a value").arg(name));
            return false;
        }
        value = arguments.at(++index);
    } else if (!takesValue(name) && value) {
        fail(QStringLiteral("--%1 takes no value").arg(name));
        return false;
    }

    auto allowedIn = [&](std::initializer_list<Command> commands) {
        for (Command command : commands) {
            if (_command == command)
                return true;
        }
        fail(_command == Command::None ? QStringLiteral("--%1 before the command").arg(name)
                                       : QStringLiteral("unknown option --%1 for this command").arg(name));
        return false;
    };
    auto once = [&](bool alreadyGiven) {
        if (alreadyGiven)
            fail(QStringLiteral("--%1 given twice").arg(name));
        return !alreadyGiven;
    };

    if (name == QLatin1String("json")) {
        if (allowedIn({Command::Show, Command::Identify}))
            _json = true;
    } else if (name == QLatin1String("details")) {
        if (allowedIn({Command::Show}))
            _details = true;
    } else if (name == QLatin1String("apply")) {
        if (allowedIn({Command::Identify, Command::Artwork}))
            _apply = true;
    } else if (name == QLatin1String("dry-run")) {
        if (allowedIn({Command::Rename}))
            _dryRun = true;
    } else if (name == QLatin1String("acoustid-key")) {
        if (!allowedIn({Command::Identify}) || !once(_acoustIDKey.has_value()))
            return false;
        if (value->trimmed().isEmpty()) {
            fail(QStringLiteral("--acoustid-key needs a key"));
            return false;
        }
        _acoustIDKey = value->trimmed();
    } else if (name == QLatin1String("structure")) {
        if (allowedIn({Command::Rename}) && once(_structureOption.has_value()))
            _structureOption = *value;
    } else if (const HLVTagField* field = HLVTagField::withOption(name)) {
        if (!allowedIn({Command::Set}))
            return false;
        for (const FieldValue& earlier : std::as_const(_fieldValues)) {
            if (earlier.field == field)
                return once(true);
        }
        FieldValue entry;
        entry.field = field;
        if (!field->numeric) {
            // The tag editor's rule: a text of spaces only is the empty text.
            entry.text = HLVStrings::isNilOrEmpty(*value) ? QString(QLatin1String("")) : *value;
        } else if (field->key == QLatin1String("Compilation")) {
            if (*value != QLatin1String("0") && *value != QLatin1String("1")) {
                fail(QStringLiteral("--compilation takes 0 or 1"));
                return false;
            }
            entry.number = value->toInt();
        } else {
            entry.number = numberOfText(*value);
            if (!entry.number) {
                fail(QStringLiteral("--%1 takes a whole number, not \"%2\"").arg(name, *value));
                return false;
            }
        }
        _fieldValues.append(entry);
    } else if (name == QLatin1String("artwork")) {
        if (!allowedIn({Command::Set}) || !once(_artwork.has_value()))
            return false;
        if (value->isEmpty()) {
            fail(QStringLiteral("--artwork needs a file or an address"));
            return false;
        }
        _artwork = *value;
    } else if (name == QLatin1String("remove-artwork")) {
        if (allowedIn({Command::Set}))
            _removeArtwork = true;
    } else if (name == QLatin1String("clear")) {
        if (allowedIn({Command::Set}))
            _clear = true;
    } else if (name == QLatin1String("custom")) {
        if (!allowedIn({Command::Set}))
            return false;
        const qsizetype equals = value->indexOf(QLatin1Char('='));
        const QString identifier = equals < 0 ? *value : value->left(equals);
        if (equals < 0 || !isCustomTagIdentifier(identifier)) {
            fail(QStringLiteral("--custom takes ID=VALUE with a four-character ID other than CTIS, not \"%1\"")
                     .arg(*value));
            return false;
        }
        for (const auto& earlier : std::as_const(_customValues)) {
            if (earlier.first.compare(identifier, Qt::CaseInsensitive) == 0) {
                fail(QStringLiteral("custom tag %1 given twice").arg(identifier));
                return false;
            }
        }
        _customValues.append({identifier, value->mid(equals + 1)});
    } else if (name == QLatin1String("id3v2-version")) {
        if (!allowedIn({Command::Set}) || !once(_id3v2Version.has_value()))
            return false;
        if (*value != QLatin1String("3") && *value != QLatin1String("4")) {
            fail(QStringLiteral("--id3v2-version takes 3 or 4"));
            return false;
        }
        _id3v2Version = value->toInt();
    } else if (name == QLatin1String("remove-custom")) {
        if (!allowedIn({Command::Set}))
            return false;
        if (!isCustomTagIdentifier(*value)) {
            fail(QStringLiteral("--remove-custom takes a four-character ID other than CTIS, not \"%1\"").arg(*value));
            return false;
        }
        _customRemovals.append(*value);
    } else {
        fail(QStringLiteral("unknown option --%1").arg(name));
        return false;
    }
    return true;
}
