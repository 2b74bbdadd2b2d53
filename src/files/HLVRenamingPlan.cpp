#include "HLVRenamingPlan.h"
#include "HLVFileData.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

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

bool isTaken(const QString& target, const QString& from)
{
    const QFileInfo there(target);
    if (!there.exists() && !there.isSymLink())
        return false;
    if (there.isSymLink() || target.compare(from, Qt::CaseInsensitive) != 0)
        return true;
    return there.canonicalFilePath() != QFileInfo(from).canonicalFilePath();
}

QList<Step> plan(const QList<std::shared_ptr<HLVFileData>>& records,
                 const std::optional<HLVFileNameStructure>& structure)
{
    QList<Step> steps;
    steps.reserve(records.size());
    QSet<QString> claimed; // targets of earlier renames
    QSet<QString> vacated; // paths earlier renames move away from
    for (const auto& record : records) {
        Step step;
        step.record = record;
        step.from = record->FilePath();
        step.target = record->renamedFilePathUsingStructure(structure);
        if (!step.target) {
            step.outcome = Outcome::NoName;
        } else if (*step.target == step.from) {
            step.outcome = Outcome::AlreadyNamed;
        } else if (claimed.contains(*step.target)
                   || (!vacated.contains(*step.target) && isTaken(*step.target, step.from))) {
            step.outcome = Outcome::Taken;
        } else {
            step.outcome = Outcome::Rename;
            claimed.insert(*step.target);
            claimed.remove(step.from);
            vacated.insert(step.from);
        }
        steps.append(step);
    }
    return steps;
}

} // namespace HLVRenamingPlan
