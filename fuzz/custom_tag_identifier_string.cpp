#include "HLVCustomTagIdentifierString.h"
#include "HLVFuzz.h"

#include <QSet>

// The "CTIS" list as a file stores it: whatever text another program left there.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = HLVFuzz::text(data, size);
    HLVCustomTagIdentifierString list(text);
    const QStringList identifiers = list.tagIdentifiers();
    for (const QString& identifier : identifiers)
        HLVFuzz::expect(identifier.size() == 4 && !identifier.contains(QLatin1Char(',')),
                        "an identifier that is not four characters");
    HLVFuzz::expect(QSet<QString>(identifiers.begin(), identifiers.end()).size() == identifiers.size(),
                    "an identifier listed twice");

    // What is stored reads back as the same list.
    const HLVCustomTagIdentifierString reread(list.stringValue());
    HLVFuzz::expect(reread.tagIdentifiers() == identifiers, "the stored list reads back differently");

    // Removing every piece of the text again empties the list.
    list.removeTagIdentifiers(text.split(QLatin1Char(',')));
    HLVFuzz::expect(list.tagIdentifiers().isEmpty(), "an identifier survived its removal");
    return 0;
}
