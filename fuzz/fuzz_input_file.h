// The parsers under test take paths, so each fuzz input is written to one scratch file
// per process (in memory-backed /dev/shm when it exists) and read back from there.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace tembrel::fuzz {

inline const std::string& scratchPath(const char* suffix) {
    static const std::string path = [&] {
        const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(dir) + "/tembrel-fuzz-" + std::to_string(getpid()) + suffix;
    }();
    return path;
}

// Writes the input to the scratch file and returns its path.
inline const std::string& writeInput(const uint8_t* data, size_t size, const char* suffix = "") {
    const std::string& path = scratchPath(suffix);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
        if (size > 0)
            std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    return path;
}

}  // namespace tembrel::fuzz
