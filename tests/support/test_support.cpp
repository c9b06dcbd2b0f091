#include "test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <thread>

#include "platform/byte_order.h"

namespace tembrel::test {

TempDir::TempDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = fs::temp_directory_path() /
                             ("tembrel-test-" + std::to_string(rd()) + std::to_string(attempt));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Read-only files and folders made by a test must not stop the clean-up.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(path_, ec);
}

std::string TempDir::file(std::string_view name) const {
    return (path_ / name).string();
}

void writeFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

void writeFile(const fs::path& path, std::string_view text) {
    writeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

int run(const std::string& command) {
    int status = std::system(command.c_str());
    if (status == -1)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

CommandResult runCaptured(const std::string& command, const TempDir& scratch) {
    const std::string out = scratch.file("captured-out.txt");
    const std::string err = scratch.file("captured-err.txt");
    const int status = run(command + " >'" + out + "' 2>'" + err + "' </dev/null");
    const std::vector<uint8_t> o = readFile(out);
    const std::vector<uint8_t> e = readFile(err);
    return {status, std::string(o.begin(), o.end()), std::string(e.begin(), e.end())};
}

void execProgram(const char* program, const std::vector<std::string>& args) {
    std::vector<char*> argv{const_cast<char*>(program)};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program, argv.data());
    _exit(127);
}

int signalWhenReady(const char* program, const std::vector<std::string>& args,
                    const fs::path& folder, const std::function<bool()>& ready, int signal,
                    pid_t* started) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        if (chdir(folder.c_str()) != 0)
            _exit(126);
        execProgram(program, args);
    }
    if (started != nullptr)
        *started = pid;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!ready() && std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            ADD_FAILURE() << program << " ended before it was ready for the signal";
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

bool haveTool(std::string_view tool) {
    return run("command -v " + std::string(tool) + " >/dev/null 2>&1") == 0;
}

std::vector<uint8_t> bytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

void writeWav(const fs::path& path, uint32_t rate, uint16_t channels, uint16_t bits,
              const std::vector<int16_t>& samples) {
    const uint32_t bytesPerSample = bits / 8;
    const uint32_t dataSize = uint32_t(samples.size()) * bytesPerSample;
    std::vector<uint8_t> out;
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    bytes::appendLE(out, 36 + dataSize + (dataSize & 1), 4);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    bytes::appendLE(out, 16, 4);
    bytes::appendLE(out, 1, 2);
    bytes::appendLE(out, channels, 2);
    bytes::appendLE(out, rate, 4);
    bytes::appendLE(out, rate * channels * bytesPerSample, 4);
    bytes::appendLE(out, channels * bytesPerSample, 2);
    bytes::appendLE(out, bits, 2);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    bytes::appendLE(out, dataSize, 4);
    for (int16_t s : samples) {
        if (bits == 8)
            out.push_back(uint8_t(s / 256 + 128));
        else
            bytes::appendLE(out, uint16_t(s), 2);
    }
    if (dataSize & 1)
        out.push_back(0);
    writeFile(path, out);
}

std::vector<int16_t> sine(uint32_t rate, uint16_t channels, uint32_t frames, double hz,
                          double amplitude) {
    std::vector<int16_t> out;
    out.reserve(size_t(frames) * channels);
    for (uint32_t i = 0; i < frames; ++i) {
        auto v = int16_t(std::lround(amplitude * std::sin(2 * M_PI * hz * i / rate)));
        for (uint16_t c = 0; c < channels; ++c)
            out.push_back(v);
    }
    return out;
}

}  // namespace tembrel::test
