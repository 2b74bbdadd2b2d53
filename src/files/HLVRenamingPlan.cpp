#include "HLVRenamingPlan.h"

#include <QDir>
#include <QFileInfo>

namespace HLVRenamingPlan {

std::optional<QString> valueForIdentifier(const HLVTagMap& tags, int identifier)
{
    auto number = [](const std::optional<int>& n) -> std::optional<QString> {
        if (!n || *n == 0)
            return std::nullopt;
        return QString::number(*n);
    };
    switch (identifier) {
    case HLVFileNameStructure::AlbumName: return tags.AlbumName();
    case HLVFileNameStructure::Artist: return tags.ArtistName();
    case HLVFileNameStructure::Composer: return tags.Composer();
    case HLVFileNameStructure::DiscNumber: return number(tags.DiscNumber());
    case HLVFileNameStructure::DiscTotal: return number(tags.DiscTotal());
    case HLVFileNameStructure::Genre: return tags.Genre();
    case HLVFileNameStructure::Grouping: return tags.Grouping();
    case HLVFileNameStructure::Title: return tags.TrackName();
    case HLVFileNameStructure::TrackNumber: return number(tags.TrackNumber());
    case HLVFileNameStructure::TrackTotal: return number(tags.TrackTotal());
    case HLVFileNameStructure::Year: return number(tags.ReleaseYear());
    default: return std::nullopt;
    }
}

std::optional<QString> fileName(const HLVTagMap& tags, const std::optional<HLVFileNameStructure>& structure)
{
    if (!structure || structure->isEmpty())
        return std::nullopt;
    QString text;
    const int components[] = {structure->firstComponent(), structure->middleComponent(), structure->lastComponent()};
    for (int component : components) {
        if (!component)
            continue;
        const auto value = valueForIdentifier(tags, component);
        if (!value || value->isEmpty())
            continue;
        if (!text.isEmpty())
            text += QLatin1String(" - ");
        text += *value;
    }
    if (text.isEmpty())
        return std::nullopt;
    return text.trimmed();
}

std::optional<QString> renamedFilePath(const QString& currentPath, const HLVTagMap& tags,
                                       const std::optional<HLVFileNameStructure>& structure)
{
    std::optional<QString> name = fileName(tags, structure);
    if (!name)
        return std::nullopt;
    static const QString forbidden = QStringLiteral("/\\?%*|\"<>:");
    name->removeIf([](QChar c) { return forbidden.contains(c); });
    // A name of nothing but dots would point at the folder or its parent.
    if (name->isEmpty() || *name == QLatin1String(".") || *name == QLatin1String(".."))
        return std::nullopt;
    const QFileInfo info(currentPath);
    const QString extension = info.suffix();
    const QString newName = extension.isEmpty() ? *name : *name + QLatin1Char('.') + extension;
    return info.dir().filePath(newName);
}

} // namespace HLVRenamingPlan
