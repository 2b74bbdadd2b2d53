#include "HLVAcoustIDGenerator.h"
#include "HLVFuzz.h"

// What fpcalc printed, standard output and error together.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const HLVAcoustIDGenerator::ToolOutput output = HLVAcoustIDGenerator::parseToolOutput(HLVFuzz::bytes(data, size));
    HLVFuzz::expect(output.fingerprint.has_value() == output.duration.has_value(),
                    "a fingerprint without a duration, or the other way round");
    return 0;
}
