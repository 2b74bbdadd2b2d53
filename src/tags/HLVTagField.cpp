#include "HLVTagField.h"

#define HLV_TEXT_FIELD(Key, Option)                                                                \
    HLVTagField{QStringLiteral(#Key), QStringLiteral(Option), false,                              \
                [](const HLVTagMap& m) -> std::optional<QString> { return m.Key(); },             \
                [](HLVTagMap& m, const std::optional<QString>& v) { m.set##Key(v); }, nullptr, nullptr}
#define HLV_NUMBER_FIELD(Key, Option)                                                              \
    HLVTagField{QStringLiteral(#Key), QStringLiteral(Option), true, nullptr, nullptr,             \
                [](const HLVTagMap& m) -> std::optional<int> { return m.Key(); },                 \
                [](HLVTagMap& m, const std::optional<int>& v) { m.set##Key(v); }}

const QList<HLVTagField>& HLVTagField::all()
{
    static const QList<HLVTagField> fields = {
        HLV_TEXT_FIELD(TrackName, "title"),
        HLV_TEXT_FIELD(ArtistName, "artist"),
        HLV_TEXT_FIELD(AlbumName, "album"),
        HLV_TEXT_FIELD(AlbumArtist, "album-artist"),
        HLV_TEXT_FIELD(Genre, "genre"),
        HLV_NUMBER_FIELD(ReleaseYear, "year"),
        HLV_NUMBER_FIELD(TrackNumber, "track"),
        HLV_NUMBER_FIELD(TrackTotal, "track-total"),
        HLV_NUMBER_FIELD(DiscNumber, "disc"),
        HLV_NUMBER_FIELD(DiscTotal, "disc-total"),
        HLV_TEXT_FIELD(Composer, "composer"),
        HLV_TEXT_FIELD(Grouping, "grouping"),
        HLV_TEXT_FIELD(Comment, "comment"),
        HLV_NUMBER_FIELD(Compilation, "compilation"),
    };
    return fields;
}

#undef HLV_TEXT_FIELD
#undef HLV_NUMBER_FIELD

const HLVTagField* HLVTagField::withOption(const QString& option)
{
    for (const HLVTagField& field : all()) {
        if (field.option == option)
            return &field;
    }
    return nullptr;
}

const HLVTagField* HLVTagField::withKey(const QString& key)
{
    for (const HLVTagField& field : all()) {
        if (field.key == key)
            return &field;
    }
    return nullptr;
}
