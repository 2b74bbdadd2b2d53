#include "HLVFileNameStructure.h"
#include "HLVFuzz.h"

namespace {

bool isComponent(int identifier)
{
    return identifier >= HLVFileNameStructure::None && identifier <= HLVFileNameStructure::Year;
}

} // namespace

// The renaming pattern as the preferences hold it, which a user may have edited.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = HLVFuzz::text(data, size);
    const HLVFileNameStructure structure = HLVFileNameStructure::initWithStringValue(text);
    HLVFuzz::expect(isComponent(structure.firstComponent()) && isComponent(structure.middleComponent())
                        && isComponent(structure.lastComponent()),
                    "a component outside the known fields");

    // Its text form is a fixed point: stored and read again, it stays the same.
    const QString stored = structure.stringValue();
    HLVFuzz::expect(HLVFileNameStructure::initWithStringValue(stored).stringValue() == stored,
                    "the stored text reads back differently");

    // The same text split three ways, as the three pop-up menus would give it.
    const qsizetype third = text.size() / 3;
    const HLVFileNameStructure fromMenus = HLVFileNameStructure::initWithComponentStrings(
        text.left(third), text.mid(third, third), text.mid(2 * third));
    HLVFuzz::expect(isComponent(fromMenus.firstComponent()) && isComponent(fromMenus.middleComponent())
                        && isComponent(fromMenus.lastComponent()),
                    "a menu choice outside the known fields");
    if (size >= 4) {
        int identifier = 0;
        for (int i = 0; i < 4; ++i)
            identifier = int(unsigned(identifier) << 8 | data[i]);
        const QString name = HLVFileNameStructure::stringValueForIdentifier(identifier);
        HLVFuzz::expect(name.isEmpty() == !(identifier >= 1 && identifier <= 11), "a name for an unknown field");
        if (!name.isEmpty())
            HLVFuzz::expect(HLVFileNameStructure::identifierForStringValue(name) == identifier,
                            "a field name that does not read back");
    }
    return 0;
}
