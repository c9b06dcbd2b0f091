// Helpers the tests share: a temporary directory per test, whole-file I/O, and
// running the command-line tools that make fixtures (sox, lame, python3 with mutagen).
#pragma once

#include <sys/types.h>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tembrel::test {

namespace fs = std::filesystem;

// A fresh directory, removed with everything in it at destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return path_; }
    // path() / name, as a string.
    std::string file(std::string_view name) const;

  private:
    fs::path path_;
};

void writeFile(const fs::path& path, const std::vector<uint8_t>& bytes);
void writeFile(const fs::path& path, std::string_view text);
std::vector<uint8_t> readFile(const fs::path& path);

// Runs a shell command; returns its exit status (-1 when it could not run).
int run(const std::string& command);
// What a shell command printed and how it ended.
struct CommandResult {
    int status;  // as run() gives it
    std::string out;
    std::string err;
};
// Runs a shell command with its standard output and error captured in files in `scratch`
// and nothing on its standard input.
CommandResult runCaptured(const std::string& command, const TempDir& scratch);

// In a forked child: replaces it with `program` and `args`; exits with 127 when that fails.
[[noreturn]] void execProgram(const char* program, const std::vector<std::string>& args);

// Starts `program` with `args` in `folder`, its standard streams on /dev/null, waits
// (at most 60 s) until `ready()` holds, sends `signal` and returns the wait status; -1,
// with a test failure, when the program ended first. `started` receives its process id.
int signalWhenReady(const char* program, const std::vector<std::string>& args,
                    const fs::path& folder, const std::function<bool()>& ready, int signal,
                    pid_t* started = nullptr);

// True when `tool` is on PATH.
bool haveTool(std::string_view tool);

// Bytes of a text, without terminator.
std::vector<uint8_t> bytesOf(std::string_view text);

// Writes a canonical 16-bit or 8-bit PCM RIFF WAVE file with the given samples
// (interleaved; 8-bit samples are stored as value / 256 + 128).
void writeWav(const fs::path& path, uint32_t rate, uint16_t channels, uint16_t bits,
              const std::vector<int16_t>& samples);
// A sine of `hz` at `amplitude`, `frames` sample frames, the same in every channel.
std::vector<int16_t> sine(uint32_t rate, uint16_t channels, uint32_t frames, double hz,
                          double amplitude = 10000.0);

}  // namespace tembrel::test
