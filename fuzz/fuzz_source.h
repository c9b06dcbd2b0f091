// What every source target does with a source that opened: read it to the end, ask what
// its headers announce, then rewind, skip and read once more. Returns the bytes the first pass delivered.
#pragma once

#include <array>
#include <cstdint>

#include "sources/audio_source.h"

namespace tembrel::fuzz {

inline uint64_t exerciseSource(AudioSource& source, uint32_t skipMilliseconds) {
    std::array<uint8_t, 4096> buffer;
    uint32_t bytesRead = 0;
    uint64_t total = 0;
    while (source.read(buffer, bytesRead) && bytesRead > 0) {
        // Never more than asked for.
        if (bytesRead > buffer.size())
            __builtin_trap();
        total += bytesRead;
    }
    // What the headers announce is asked once the source has been read to its end (it may
    // be anything a damaged header says).
    [[maybe_unused]] const auto announced = source.announcedLength();
    uint32_t counter = 0;
    source.rewind();
    source.skip(skipMilliseconds, counter);
    source.read(buffer, bytesRead);
    return total;
}

}  // namespace tembrel::fuzz
