// The messages between a job and the worker processes that convert its files, one byte
// stream each way over a socket. Every message is a frame:
//
//   "TW"  version (1 byte)  type (1 byte)  payload length (4 bytes, little-endian)  payload
//
// and its payload holds the fields of its type in order: integers little-endian, a flag
// as one byte 0 or 1, a text as its length (4 bytes) and its bytes (never a NUL). The
// encoding is canonical: reading a frame and writing it again gives the same bytes.
// Anything else (another magic or version, an unknown type, a field that runs past the
// payload or leaves bytes over, an oversized frame) breaks the stream for good.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace tembrel::worker {

inline constexpr uint8_t kProtocolVersion = 1;
inline constexpr std::size_t kFrameHeaderSize = 8;
// Paths and texts are far below this; a larger frame means a garbled stream.
inline constexpr std::size_t kMaxPayload = 64 * 1024;

// Worker to job, once at start: ready for requests.
struct Ready {
    bool operator==(const Ready&) const = default;
};

// Job to worker: convert one file. The paths as the job has them; relative ones are
// taken from `folder`, which the worker makes its current directory (so that the
// header's import folder is looked up there, as in a job that converts by itself).
struct EncodeRequest {
    std::string folder;
    std::string source;
    std::string output;
    std::array<int32_t, 6> bitRates{};
    bool nameFromFileName = false;
    bool convertOtherFormats = false;
    bool operator==(const EncodeRequest&) const = default;
};

// Worker to job: the temporary output file has been made (path as the worker has it, in
// the output's folder), so that the job can remove it should the worker die.
struct TemporaryFile {
    std::string path;
    bool operator==(const TemporaryFile&) const = default;
};

// Worker to job: frames done and in total of the file in hand.
struct Progress {
    int32_t framesDone = 0;
    int32_t framesTotal = 0;
    bool operator==(const Progress&) const = default;
};

// Worker to job: the file is done with. The temporary output (empty when there is none)
// now belongs to the job, which puts it in place or removes it.
struct Result {
    enum class End : uint8_t { Completed = 0, Cancelled = 1, Failed = 2 };
    End end = End::Completed;
    std::string failure;  // why it failed; empty otherwise
    std::string warning;  // what a completed file's source lacked; may be empty
    std::string temporaryPath;
    uint32_t newFileBits = 0644;  // the bits a new file gets in the worker
    bool operator==(const Result&) const = default;
};

using Message = std::variant<Ready, EncodeRequest, TemporaryFile, Progress, Result>;

// The frame of a message.
std::vector<uint8_t> encodeMessage(const Message& message);

// Takes a byte stream as it arrives, in pieces of any size, and hands out whole messages.
class MessageReader {
  public:
    void feed(std::span<const uint8_t> bytes);
    // The next whole message; nullopt when more bytes are needed or the stream is broken.
    std::optional<Message> next();
    bool broken() const { return broken_; }
    // Bytes received and not yet handed out as messages.
    std::size_t pending() const { return buffer_.size() - start_; }

  private:
    std::vector<uint8_t> buffer_;
    std::size_t start_ = 0;
    bool broken_ = false;
};

// Sends the whole frame of `message` over the socket `fd`, waiting while it is full.
// False when the other end is gone (no SIGPIPE is raised) or the socket fails.
bool sendMessage(int fd, const Message& message);

enum class ReadEnd { Data, NoneYet, Closed, Failed };
// Reads what has arrived on `fd` into `reader`: Data when bytes came, NoneYet when a
// non-blocking socket had none, Closed at the other end's close, Failed on an error.
ReadEnd receiveInto(int fd, MessageReader& reader);

}  // namespace tembrel::worker
