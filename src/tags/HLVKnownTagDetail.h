#pragma once

#include <QHash>
#include <QString>
#include <memory>
#include <optional>

// One entry of the known-tag catalogue: a well-known raw tag of one format,
// the kind of its value (2 = numeric) and whether the user may edit it.
class HLVKnownTagDetail
{
public:
    HLVKnownTagDetail(const QString& identifier, int knownTagType, bool allowEdit);

    const QString& identifier() const { return _identifier; }
    int knownTagType() const { return _knownTagType; }
    bool allowEdit() const { return _allowEdit; }

    using Table = QHash<QString, std::shared_ptr<const HLVKnownTagDetail>>;

    // The catalogue entry for a four-character identifier in a file of the
    // given extension; null for other identifiers and extensions.
    static std::shared_ptr<const HLVKnownTagDetail> knownTagDetailForIdentifier(
        const std::optional<QString>& identifier, const std::optional<QString>& fileExtension);

    // The per-format tables, loaded from the catalogue on first use.
    static std::optional<Table> getKnownID3Tags();
    static std::optional<Table> getKnownAppleTags();
    static std::optional<Table> getKnownXiphTags();

    // Loads the catalogue; a missing or malformed one gives three empty tables.
    static void parseKnownTags();

    // Points the catalogue at another file and forgets the loaded tables (tests).
    static void setCatalogPathForTesting(const QString& path);

private:
    QString _identifier;
    int _knownTagType;
    bool _allowEdit;
};
