#include "HLVFuzz.h"

// A whole .mp3 file, read and saved through the program's tag access.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    HLVFuzz::exerciseTagFile(HLVFuzz::bytes(data, size), "mp3");
    return 0;
}
