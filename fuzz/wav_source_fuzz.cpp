// WAV source: open a file of arbitrary bytes and read it to the end, which must deliver
// exactly length() bytes.
#include <array>

#include "fuzz/fuzz_input_file.h"
#include "sources/wav_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = tembrel::fuzz::writeInput(data, size, ".wav");
    tembrel::WavSource source;
    if (source.open(path.c_str())) {
        std::array<uint8_t, 4096> buffer;
        uint32_t bytesRead = 0;
        uint64_t total = 0;
        while (source.read(buffer, bytesRead) && bytesRead > 0)
            total += bytesRead;
        // Chunk sizes are clamped to the file, so every byte length() promises is there.
        if (source.length() < 0 || total != uint64_t(source.length()))
            __builtin_trap();
        uint32_t counter = 0;
        source.rewind();
        source.skip(1500, counter);
        source.read(buffer, bytesRead);
    }
    source.close();
    return 0;
}
