#include "driver/worker_messages.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "platform/byte_order.h"

namespace tembrel::worker {
namespace {

constexpr uint8_t kMagic[2] = {'T', 'W'};

// Type codes on the wire, in the order of the Message alternatives, from 1.
template <typename T>
constexpr uint8_t typeCode() {
    return uint8_t(Message(T{}).index() + 1);
}

class Writer {
  public:
    void u8(uint8_t v) { out.push_back(v); }
    void u32(uint32_t v) { bytes::appendLE(out, v, 4); }
    void i32(int32_t v) { u32(uint32_t(v)); }
    void flag(bool v) { u8(v ? 1 : 0); }
    void text(const std::string& v) {
        u32(uint32_t(v.size()));
        out.insert(out.end(), v.begin(), v.end());
    }
    std::vector<uint8_t> out;
};

// Reads the fields of one payload; any misfit sets `bad` and yields zeros from then on.
class Reader {
  public:
    explicit Reader(std::span<const uint8_t> payload) : in_(payload) {}
    bool ok() const { return !bad_; }
    bool atEnd() const { return at_ == in_.size(); }
    void refuse() { bad_ = true; }

    uint8_t u8() {
        if (!need(1))
            return 0;
        return in_[at_++];
    }
    uint32_t u32() {
        if (!need(4))
            return 0;
        const uint32_t v = bytes::readLE32(in_.subspan(at_, 4));
        at_ += 4;
        return v;
    }
    int32_t i32() { return int32_t(u32()); }
    bool flag() {
        const uint8_t v = u8();
        if (v > 1)
            bad_ = true;
        return v == 1;
    }
    std::string text() {
        const uint32_t size = u32();
        if (!need(size))
            return {};
        const auto piece = in_.subspan(at_, size);
        if (std::find(piece.begin(), piece.end(), uint8_t(0)) != piece.end()) {
            bad_ = true;
            return {};
        }
        at_ += size;
        return {piece.begin(), piece.end()};
    }

  private:
    bool need(std::size_t n) {
        if (bad_ || in_.size() - at_ < n)
            bad_ = true;
        return !bad_;
    }

    std::span<const uint8_t> in_;
    std::size_t at_ = 0;
    bool bad_ = false;
};

void writeFields(Writer&, const Ready&) {}
void writeFields(Writer& w, const EncodeRequest& m) {
    w.text(m.folder);
    w.text(m.source);
    w.text(m.output);
    for (const int32_t rate : m.bitRates)
        w.i32(rate);
    w.flag(m.nameFromFileName);
    w.flag(m.convertOtherFormats);
}
void writeFields(Writer& w, const TemporaryFile& m) {
    w.text(m.path);
}
void writeFields(Writer& w, const Progress& m) {
    w.i32(m.framesDone);
    w.i32(m.framesTotal);
}
void writeFields(Writer& w, const Result& m) {
    w.u8(uint8_t(m.end));
    w.text(m.failure);
    w.text(m.warning);
    w.text(m.temporaryPath);
    w.u32(m.newFileBits);
}

void readFields(Reader&, Ready&) {}
void readFields(Reader& r, EncodeRequest& m) {
    m.folder = r.text();
    m.source = r.text();
    m.output = r.text();
    for (int32_t& rate : m.bitRates)
        rate = r.i32();
    m.nameFromFileName = r.flag();
    m.convertOtherFormats = r.flag();
}
void readFields(Reader& r, TemporaryFile& m) {
    m.path = r.text();
}
void readFields(Reader& r, Progress& m) {
    m.framesDone = r.i32();
    m.framesTotal = r.i32();
}
void readFields(Reader& r, Result& m) {
    const uint8_t end = r.u8();
    m.end = Result::End(end);
    m.failure = r.text();
    m.warning = r.text();
    m.temporaryPath = r.text();
    m.newFileBits = r.u32();
    if (end > uint8_t(Result::End::Failed) || m.newFileBits > 07777)
        r.refuse();
}

// The message of type code `type` from its payload; nullopt when it does not fit.
std::optional<Message> parsePayload(uint8_t type, std::span<const uint8_t> payload) {
    std::optional<Message> message;
    const auto attempt = [&]<typename T>(T m) {
        if (type != typeCode<T>())
            return;
        Reader r(payload);
        readFields(r, m);
        if (r.ok() && r.atEnd())
            message = std::move(m);
    };
    attempt(Ready{});
    attempt(EncodeRequest{});
    attempt(TemporaryFile{});
    attempt(Progress{});
    attempt(Result{});
    return message;
}

}  // namespace

std::vector<uint8_t> encodeMessage(const Message& message) {
    Writer payload;
    const uint8_t type = std::visit(
        [&payload]<typename T>(const T& m) {
            writeFields(payload, m);
            return typeCode<T>();
        },
        message);
    Writer frame;
    frame.u8(kMagic[0]);
    frame.u8(kMagic[1]);
    frame.u8(kProtocolVersion);
    frame.u8(type);
    frame.u32(uint32_t(payload.out.size()));
    frame.out.insert(frame.out.end(), payload.out.begin(), payload.out.end());
    return std::move(frame.out);
}

void MessageReader::feed(std::span<const uint8_t> bytes) {
    if (broken_)
        return;
    // Drop what has been handed out before the buffer grows.
    if (start_ > 0 && start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    } else if (start_ > kMaxPayload) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + std::ptrdiff_t(start_));
        start_ = 0;
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

std::optional<Message> MessageReader::next() {
    if (broken_)
        return std::nullopt;
    const std::span<const uint8_t> waiting = std::span(buffer_).subspan(start_);
    // A wrong start is refused as soon as it shows, before the rest of a header arrives.
    const std::size_t known = std::min<std::size_t>(waiting.size(), 3);
    const uint8_t expected[3] = {kMagic[0], kMagic[1], kProtocolVersion};
    if (!std::equal(waiting.begin(), waiting.begin() + std::ptrdiff_t(known), expected)) {
        broken_ = true;
        return std::nullopt;
    }
    if (waiting.size() < kFrameHeaderSize)
        return std::nullopt;
    const uint8_t type = waiting[3];
    const uint32_t size = bytes::readLE32(waiting.subspan(4, 4));
    if (size > kMaxPayload) {
        broken_ = true;
        return std::nullopt;
    }
    if (waiting.size() - kFrameHeaderSize < size)
        return std::nullopt;
    std::optional<Message> message = parsePayload(type, waiting.subspan(kFrameHeaderSize, size));
    if (!message) {
        broken_ = true;
        return std::nullopt;
    }
    start_ += kFrameHeaderSize + size;
    return message;
}

bool sendMessage(int fd, const Message& message) {
    const std::vector<uint8_t> frame = encodeMessage(message);
    std::size_t sent = 0;
    while (sent < frame.size()) {
        const ssize_t n = ::send(fd, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
        if (n >= 0) {
            sent += std::size_t(n);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, -1) < 0 && errno != EINTR)
            return false;
    }
    return true;
}

ReadEnd receiveInto(int fd, MessageReader& reader) {
    uint8_t chunk[4096];
    for (;;) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            reader.feed(std::span(chunk, std::size_t(n)));
            return ReadEnd::Data;
        }
        if (n == 0)
            return ReadEnd::Closed;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return ReadEnd::NoneYet;
        return ReadEnd::Failed;
    }
}

}  // namespace tembrel::worker
