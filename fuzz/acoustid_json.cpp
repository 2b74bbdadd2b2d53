#include "HLVAcoustIDIdentifier.h"
#include "HLVFuzz.h"

// An AcoustID lookup reply: the recordings it offers and the one preferred.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<HLVAcoustIDRecording> recordings =
        HLVAcoustIDIdentifier::getRecordingsFromJSONData(HLVFuzz::bytes(data, size));
    for (const HLVAcoustIDRecording& recording : recordings)
        HLVFuzz::expect(recording.identifier && recording.title && recording.artistId,
                        "a recording without identifier, title or artist");

    static const auto identifier = HLVAcoustIDIdentifier::create();
    const std::optional<HLVAcoustIDRecording> preferred = identifier->getPreferredRecording(recordings);
    HLVFuzz::expect(preferred.has_value() == !recordings.empty(), "no choice among recordings, or one from none");
    if (preferred) {
        const bool offered = std::any_of(recordings.begin(), recordings.end(), [&](const HLVAcoustIDRecording& r) {
            return r.identifier == preferred->identifier && r.artistId == preferred->artistId;
        });
        HLVFuzz::expect(offered, "a preferred recording the reply did not offer");
    }
    return 0;
}
