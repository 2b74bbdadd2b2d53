#include "HLVKnownTagDetail.h"
#include "HLVKnownTagsXMLParser.h"

#include <mutex>

namespace {

struct Catalogue
{
    std::mutex mutex;
    QString path = QStringLiteral(":/KnownTags.xml");
    std::optional<HLVKnownTagDetail::Table> id3;
    std::optional<HLVKnownTagDetail::Table> apple;
    std::optional<HLVKnownTagDetail::Table> xiph;
};

Catalogue& catalogue()
{
    static Catalogue instance;
    return instance;
}

// Caller holds the catalogue's mutex.
void loadLocked(Catalogue& c)
{
    HLVKnownTagsXMLParser parser(c.path);
    if (parser.parse()) {
        c.id3 = parser.knownID3Tags();
        c.apple = parser.knownAppleTags();
        c.xiph = parser.knownXiphTags();
    } else {
        c.id3 = HLVKnownTagDetail::Table();
        c.apple = HLVKnownTagDetail::Table();
        c.xiph = HLVKnownTagDetail::Table();
    }
}

// A table the catalogue lacks stays absent, so asking for it loads again.
std::optional<HLVKnownTagDetail::Table> table(std::optional<HLVKnownTagDetail::Table> Catalogue::*member)
{
    Catalogue& c = catalogue();
    std::lock_guard lock(c.mutex);
    if (!(c.*member))
        loadLocked(c);
    return c.*member;
}

} // namespace

HLVKnownTagDetail::HLVKnownTagDetail(const QString& identifier, int knownTagType, bool allowEdit)
    : _identifier(identifier)
    , _knownTagType(knownTagType)
    , _allowEdit(allowEdit)
{
}

std::shared_ptr<const HLVKnownTagDetail> HLVKnownTagDetail::knownTagDetailForIdentifier(
    const std::optional<QString>& identifier, const std::optional<QString>& fileExtension)
{
    if (!identifier || !fileExtension || identifier->size() != 4)
        return nullptr;
    const QString extension = fileExtension->toLower();
    std::optional<Table> known;
    QString key = *identifier;
    if (extension == QLatin1String("mp3")) {
        known = getKnownID3Tags();
        key = key.toUpper();
    } else if (extension == QLatin1String("mp4") || extension == QLatin1String("m4a")
               || extension == QLatin1String("m4b") || extension == QLatin1String("m4p")) {
        known = getKnownAppleTags();
    } else if (extension == QLatin1String("flac")) {
        known = getKnownXiphTags();
    }
    if (!known)
        return nullptr;
    return known->value(key);
}

std::optional<HLVKnownTagDetail::Table> HLVKnownTagDetail::getKnownID3Tags()
{
    return table(&Catalogue::id3);
}

std::optional<HLVKnownTagDetail::Table> HLVKnownTagDetail::getKnownAppleTags()
{
    return table(&Catalogue::apple);
}

std::optional<HLVKnownTagDetail::Table> HLVKnownTagDetail::getKnownXiphTags()
{
    return table(&Catalogue::xiph);
}

void HLVKnownTagDetail::parseKnownTags()
{
    Catalogue& c = catalogue();
    std::lock_guard lock(c.mutex);
    loadLocked(c);
}

void HLVKnownTagDetail::setCatalogPathForTesting(const QString& path)
{
    Catalogue& c = catalogue();
    std::lock_guard lock(c.mutex);
    c.path = path;
    c.id3.reset();
    c.apple.reset();
    c.xiph.reset();
}
