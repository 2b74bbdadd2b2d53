#include "HLVGenreValidator.h"

#include <iterator>

namespace {

const char* const kGenreNames[] = {
    "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Jazz", "Metal", "New Age", "Oldies",
    "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno", "Industrial", "Alternative", "Ska",
    "Death Metal", "Pranks", "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk",
    "Fusion", "Trance", "Classical", "Instrumental", "Acid", "House", "Game", "Sound Clip", "Gospel",
    "Noise", "AlternRock", "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental Pop",
    "Instrumental Rock", "Ethnic", "Gothic", "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk",
    "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta Rap", "Top 40", "Christian Rap",
    "Pop/Funk", "Jungle", "Native American", "Cabaret", "New Wave", "Psychedelic", "Rave", "Showtunes",
    "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll",
    "Hard Rock", "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin",
    "Revival", "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock",
    "Symphonic Rock", "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour",
    "Speech", "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus",
    "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba", "Folklore", "Ballad", "Power Ballad",
    "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock", "Drum Solo", "A Cappella", "Euro-House",
    "Dance Hall", "Goa", "Drum & Bass", "Hardcore", "Terror", "Indie", "BritPop", "Negerpunk",
    "Polsk Punk", "Beat", "Christian Gangsta Rap", "Heavy Metal", "Black Metal", "Crossover",
    "Contemporary Christian", "Christian Rock", "Merengue", "Salsa", "Thrash Metal", "Anime", "JPop",
    "Synthpop", "Rock/Pop",
};

static_assert(std::size(kGenreNames) == 146);

} // namespace

HLVGenreValidator::HLVGenreValidator()
{
    for (const char* name : kGenreNames) {
        const QString genre = QString::fromLatin1(name);
        setObjectForKeyInDictionary(genre, keyOf(genre), _genres);
    }
}

QString HLVGenreValidator::keyOf(const QString& text)
{
    return text.left(2).toUpper();
}

void HLVGenreValidator::setObjectForKeyInDictionary(const QString& name, const QString& key, GenreTable& table)
{
    table[key].append(name);
}

std::optional<QString> HLVGenreValidator::validateGenre(const std::optional<QString>& text) const
{
    if (!text || text->size() < 2)
        return std::nullopt;
    const auto names = _genres.constFind(keyOf(*text));
    if (names == _genres.constEnd())
        return std::nullopt;
    for (const QString& name : *names) {
        if (name.compare(*text, Qt::CaseInsensitive) == 0)
            return name;
    }
    return std::nullopt;
}
