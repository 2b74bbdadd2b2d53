#include "HLVFuzz.h"
#include "HLVKnownTagsXMLParser.h"

// The known-tag catalogue: ours, but read with the same care as any XML.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    HLVKnownTagsXMLParser parser(QString{});
    (void)parser.parseData(HLVFuzz::bytes(data, size));
    for (const auto* table : {&parser.knownID3Tags(), &parser.knownAppleTags(), &parser.knownXiphTags()}) {
        if (!*table)
            continue;
        for (auto it = (*table)->cbegin(); it != (*table)->cend(); ++it) {
            HLVFuzz::expect(it.value() != nullptr, "a null catalogue entry");
            HLVFuzz::expect(!it.key().isEmpty() && it.key() == it.value()->identifier(),
                            "an entry filed under another identifier");
        }
    }
    return 0;
}
