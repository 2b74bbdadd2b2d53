#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>

// Decides whether a free-text MusicBrainz tag is one of the genre names the
// program accepts, and answers it spelled as in the program's list.
class HLVGenreValidator
{
public:
    HLVGenreValidator();

    // The list's spelling of the text when it names a genre ignoring case, else absent.
    std::optional<QString> validateGenre(const std::optional<QString>& text) const;

private:
    using GenreTable = QHash<QString, QStringList>;

    // Files a name under its key, creating the key's set when it is new.
    static void setObjectForKeyInDictionary(const QString& name, const QString& key, GenreTable& table);
    static QString keyOf(const QString& text);

    GenreTable _genres;
};
