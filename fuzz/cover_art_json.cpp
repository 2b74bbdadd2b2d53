#include "HLVArtworkPaths.h"
#include "HLVFuzz.h"

// A Cover Art Archive listing, as the release and release-group lookups get it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    HLVFuzz::serveEveryRequest(HLVFuzz::bytes(data, size), "application/json");
    HLVFuzz::runOffTheMainThread([] {
        for (const bool isGroup : {false, true}) {
            const std::optional<QString> address =
                HLVArtworkPaths::downloadArtworkPathForMBID(QStringLiteral("76df3287-6cda-33eb-8e9a-044b5e15ffdd"),
                                                            isGroup);
            HLVFuzz::expect(!address || !address->isEmpty(), "an empty image address");
            HLVFuzz::expect(!address || !address->contains(QLatin1String("http://")), "an address left on http");
        }
    });
    return 0;
}
