#pragma once

#include <QString>
#include <optional>

// A renaming pattern of up to three tag fields joined by " - ", e.g.
// "Artist - Title". Its text form is what the preferences store.
class HLVFileNameStructure
{
public:
    enum Component : int {
        None = 0,
        AlbumName = 1,
        Artist = 2,
        Composer = 3,
        DiscNumber = 4,
        DiscTotal = 5,
        Genre = 6,
        Grouping = 7,
        Title = 8,
        TrackNumber = 9,
        TrackTotal = 10,
        Year = 11,
    };

    HLVFileNameStructure(); // the title alone
    HLVFileNameStructure(int first, int middle, int last);
    static HLVFileNameStructure initWithComponentStrings(const QString& first, const QString& middle,
                                                         const QString& last);
    static HLVFileNameStructure initWithStringValue(const std::optional<QString>& text);

    int firstComponent() const { return _firstComponent; }
    int middleComponent() const { return _middleComponent; }
    int lastComponent() const { return _lastComponent; }
    void setFirstComponent(int identifier) { _firstComponent = identifier; }
    void setMiddleComponent(int identifier) { _middleComponent = identifier; }
    void setLastComponent(int identifier) { _lastComponent = identifier; }

    QString firstComponentString() const { return stringValueForIdentifier(_firstComponent); }
    QString middleComponentString() const { return stringValueForIdentifier(_middleComponent); }
    QString lastComponentString() const { return stringValueForIdentifier(_lastComponent); }
    void setFirstComponentString(const QString& name) { _firstComponent = identifierForStringValue(name); }
    void setMiddleComponentString(const QString& name) { _middleComponent = identifierForStringValue(name); }
    void setLastComponentString(const QString& name) { _lastComponent = identifierForStringValue(name); }

    QString stringValue() const;
    // Fills the components from the right: the last part is the last component.
    void setStringValue(const std::optional<QString>& text);

    bool isEmpty() const { return !_firstComponent && !_middleComponent && !_lastComponent; }
    bool operator==(const HLVFileNameStructure&) const = default;

    // Field names; the empty string outside 1 to 11.
    static QString stringValueForIdentifier(int identifier);
    // Exact (case-sensitive) match after trimming; 0 when none.
    static int identifierForStringValue(const std::optional<QString>& name);

    // The preferences' structure under "StoredFileNameStructure"; the default when none.
    static HLVFileNameStructure storedStructure();
    // Stores the structure's text form, or "Title" for none.
    static void storeStructure(const std::optional<HLVFileNameStructure>& structure);

private:
    int _firstComponent = 0;
    int _middleComponent = 0;
    int _lastComponent = Title;
};
