#include "driver/worker_pool.h"

#include <poll.h>

#include <algorithm>
#include <csignal>

namespace tembrel {
namespace {

// How long an idle worker may take to notice that the job has no more work.
constexpr auto kEndGrace = std::chrono::seconds(5);
// How long a cancelled worker may take to finish its frame before it is killed.
constexpr auto kCancelGrace = std::chrono::seconds(10);

}  // namespace

WorkerPool::WorkerPool(std::string program, std::vector<std::string> arguments, int32_t size)
    : program_(std::move(program)),
      arguments_(std::move(arguments)),
      size_(std::size_t(std::max(size, 1))) {}

WorkerPool::~WorkerPool() {
    // Every channel first, so that all idle workers end at once.
    for (Slot& slot : slots_) {
        if (slot.busy)
            slot.process.signal(SIGKILL);
        slot.process.closeChannel();
    }
    for (Slot& slot : slots_)
        slot.process.finish(kEndGrace);
}

WorkerPool::Submitted WorkerPool::submit(uint64_t ticket, const worker::EncodeRequest& request) {
    for (;;) {
        auto idle =
            std::find_if(slots_.begin(), slots_.end(), [](const Slot& s) { return !s.busy; });
        if (idle == slots_.end()) {
            if (slots_.size() >= size_)
                return Submitted::AllBusy;
            if (startFailed_)
                return slots_.empty() ? Submitted::NoWorker : Submitted::AllBusy;
            Slot slot;
            slot.process = ChildProcess::start(program_, arguments_);
            if (!slot.process.started()) {
                startFailed_ = true;
                continue;
            }
            slots_.push_back(std::move(slot));
            idle = slots_.end() - 1;
        }
        if (!worker::sendMessage(idle->process.channel(), request)) {
            // It died while idle; its replacement takes the file.
            idle->process.finish(std::chrono::milliseconds(0));
            slots_.erase(idle);
            continue;
        }
        idle->busy = true;
        idle->cancelSent = false;
        idle->ticket = ticket;
        idle->temporaryPath.clear();
        idle->framesDone = 0;
        idle->framesTotal = 2;
        return Submitted::Yes;
    }
}

std::vector<WorkerPool::Done> WorkerPool::pump(std::chrono::milliseconds timeout) {
    std::vector<Done> done;
    // A worker that does not stop when cancelled is stuck; its file goes with it.
    const auto now = std::chrono::steady_clock::now();
    for (std::size_t i = slots_.size(); i-- > 0;) {
        Slot& slot = slots_[i];
        if (slot.busy && slot.cancelSent && now - slot.cancelledAt > kCancelGrace) {
            lose(slot, "did not stop when cancelled", done);
            slots_.erase(slots_.begin() + std::ptrdiff_t(i));
        }
    }
    std::vector<pollfd> fds;
    for (const Slot& slot : slots_)
        fds.push_back({slot.process.channel(), POLLIN, 0});
    if (::poll(fds.data(), fds.size(), int(timeout.count())) <= 0)
        return done;
    std::vector<bool> gone(slots_.size(), false);
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        if (fds[i].revents != 0)
            gone[i] = !service(slots_[i], done);
    }
    for (std::size_t i = slots_.size(); i-- > 0;) {
        if (gone[i])
            slots_.erase(slots_.begin() + std::ptrdiff_t(i));
    }
    return done;
}

bool WorkerPool::service(Slot& slot, std::vector<Done>& done) {
    const worker::ReadEnd end = worker::receiveInto(slot.process.channel(), slot.reader);
    while (std::optional<worker::Message> message = slot.reader.next()) {
        if (std::holds_alternative<worker::Ready>(*message)) {
            slot.ready = true;
        } else if (const auto* file = std::get_if<worker::TemporaryFile>(&*message)) {
            slot.temporaryPath = file->path;
        } else if (const auto* progress = std::get_if<worker::Progress>(&*message)) {
            slot.framesDone = progress->framesDone;
            slot.framesTotal = progress->framesTotal;
        } else if (auto* result = std::get_if<worker::Result>(&*message); result && slot.busy) {
            done.push_back({slot.ticket, Done::How::Answered, std::move(*result), {}, {}});
            slot.busy = false;
            slot.temporaryPath.clear();
            // A worker that stopped on a cancel takes no more files.
            if (done.back().result.end == worker::Result::End::Cancelled) {
                slot.process.finish(kEndGrace);
                return false;
            }
        } else {
            lose(slot, "sent a message out of turn", done);
            return false;
        }
    }
    if (slot.reader.broken()) {
        lose(slot, "sent a message that cannot be read", done);
        return false;
    }
    if (end == worker::ReadEnd::Closed || end == worker::ReadEnd::Failed) {
        lose(slot, {}, done);
        return false;
    }
    return true;
}

void WorkerPool::lose(Slot& slot, const std::string& how, std::vector<Done>& done) {
    slot.process.signal(SIGKILL);
    const int status = slot.process.finish(kEndGrace);
    // A worker that never came up says nothing of the file: whatever it was started as
    // cannot convert, so no more are started and the file is converted some other way.
    if (!slot.ready)
        startFailed_ = true;
    if (!slot.busy)
        return;
    slot.busy = false;
    Done d;
    d.ticket = slot.ticket;
    if (!slot.ready) {
        d.how = Done::How::NotStarted;
    } else {
        d.how = Done::How::Lost;
        d.reason = "the process converting it " + (how.empty() ? describeEnd(status) : how);
        d.temporaryPath = slot.temporaryPath;
    }
    done.push_back(std::move(d));
}

void WorkerPool::cancel() {
    for (Slot& slot : slots_) {
        if (slot.busy && !slot.cancelSent) {
            slot.cancelSent = slot.process.signal(SIGTERM);
            slot.cancelledAt = std::chrono::steady_clock::now();
        }
    }
}

std::size_t WorkerPool::busy() const {
    return std::size_t(
        std::count_if(slots_.begin(), slots_.end(), [](const Slot& s) { return s.busy; }));
}

std::vector<WorkerPool::InHand> WorkerPool::inHand() const {
    std::vector<InHand> files;
    for (const Slot& slot : slots_) {
        if (slot.busy)
            files.push_back({slot.ticket, slot.framesDone, slot.framesTotal});
    }
    std::sort(files.begin(), files.end(),
              [](const InHand& a, const InHand& b) { return a.ticket < b.ticket; });
    return files;
}

}  // namespace tembrel
