// WAV source: open a file of arbitrary bytes and read it to the end, which must deliver
// exactly length() bytes.
#include <array>

#include "fuzz/fuzz_input_file.h"
#include "fuzz/fuzz_source.h"
#include "sources/wav_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = tembrel::fuzz::writeInput(data, size, ".wav");
    tembrel::WavSource source;
    if (source.open(path.c_str())) {
        const uint64_t total = tembrel::fuzz::exerciseSource(source, 1500);
        // Chunk sizes are clamped to the file, so every byte length() promises is there.
        if (source.length() < 0 || total != uint64_t(source.length()))
            __builtin_trap();
    }
    source.close();
    return 0;
}
