#include "driver/encode_worker.h"

#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "driver/cancel_signals.h"
#include "driver/job_progress.h"
#include "driver/worker_messages.h"
#include "platform/child_process.h"
#include "platform/file_ops.h"
#include "platform/path_names.h"

namespace tembrel {
namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(100);

// Exit statuses of a worker that never got to work.
constexpr int kWrongCall = 3;
constexpr int kOrphan = 4;
constexpr int kGarbledRequest = 5;

std::string& workerProgram() {
    static std::string program;
    return program;
}

// The worker's end of the socket, written from two threads.
class Channel {
  public:
    bool send(const worker::Message& message) {
        std::lock_guard lock(mutex_);
        return worker::sendMessage(ChildProcess::kChannelFd, message);
    }
    // The next request; nullopt when the job has closed its end or the stream is broken.
    std::optional<worker::Message> receive() {
        for (;;) {
            if (auto message = reader_.next())
                return message;
            if (reader_.broken())
                return std::nullopt;
            if (worker::receiveInto(ChildProcess::kChannelFd, reader_) != worker::ReadEnd::Data)
                return std::nullopt;
        }
    }

  private:
    std::mutex mutex_;
    worker::MessageReader reader_;
};

// Sends the frame counts of the file in hand while it is converted.
class ProgressReporter {
  public:
    explicit ProgressReporter(Channel& channel) : channel_(channel), thread_([this] { run(); }) {}
    ~ProgressReporter() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

  private:
    void run() {
        const JobProgress& progress = jobProgress();
        worker::Progress last{-1, -1};
        std::unique_lock lock(mutex_);
        while (!wake_.wait_for(lock, kProgressInterval, [this] { return stop_; })) {
            const worker::Progress now{progress.framesDone, progress.framesTotal};
            if (now != last && channel_.send(now))
                last = now;
        }
    }

    Channel& channel_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

// The last output handed to the job, until the job has surely taken it (it sends the next
// file only once it has put the last in place or removed it). Should the job die in
// between, nobody else would ever remove it: the worker does, on its way out.
class HandedOver {
  public:
    explicit HandedOver(pid_t job) : job_(job) {}
    HandedOver(const HandedOver&) = delete;
    HandedOver& operator=(const HandedOver&) = delete;
    ~HandedOver() {
        if (!path_.empty() && stillThere() && jobIsGone())
            ::unlink(path_.c_str());
    }
    void set(const std::string& path) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0) {
            path_ = path;
            file_ = {st.st_dev, st.st_ino};
        }
    }
    void clear() { path_.clear(); }

  private:
    bool stillThere() const {
        struct stat st {};
        return ::lstat(path_.c_str(), &st) == 0 && std::pair(st.st_dev, st.st_ino) == file_;
    }
    // A job that dies closes the socket a moment before its workers are handed to another
    // parent; a living job that has not yet taken the file is still our parent after that.
    bool jobIsGone() const {
        for (int i = 0; i < 20; ++i) {
            if (::getppid() != job_)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    pid_t job_;
    std::string path_;
    std::pair<dev_t, ino_t> file_{};
};

bool killRequestedFor(const std::string& source) {
    const char* name = std::getenv(kKillWorkerVariable);
    return name != nullptr && *name != '\0' && lastElementOf(source) == name;
}

// Converts one file and says how it went. The temporary output changes hands only once
// the job has been told of it; should that fail, it is removed here.
bool convert(const worker::EncodeRequest& request, FileEncoder& encoder, Channel& channel,
             HandedOver& handedOver) {
    JobProgress& progress = jobProgress();
    progress.framesDone = 0;
    progress.framesTotal = 2;
    if (!changeDirectory(request.folder)) {
        return channel.send(
            worker::Result{worker::Result::End::Failed,
                           "cannot enter " + request.folder + ": " + std::strerror(errno),
                           {},
                           {},
                           0644});
    }
    encoder.copyBitRates(request.bitRates);
    encoder.setNameFromFileName(request.nameFromFileName);
    encoder.setConvertOtherFormats(request.convertOtherFormats);
    encoder.setOutputObserver([&](const std::string& temporaryPath) {
        channel.send(worker::TemporaryFile{temporaryPath});
        if (killRequestedFor(request.source))
            ::raise(SIGKILL);
    });
    {
        ProgressReporter reporter(channel);
        encoder.encodeFile(request.source, request.output);
    }
    encoder.setOutputObserver({});
    channel.send(worker::Progress{progress.framesDone, progress.framesTotal});

    SafeReplace output = encoder.takeOutput();
    worker::Result result;
    if (progress.cancelRequested)
        result.end = worker::Result::End::Cancelled;
    else if (!encoder.failureReason().empty())
        result.end = worker::Result::End::Failed;
    result.failure = encoder.failureReason();
    result.warning = encoder.warning();
    if (output.ok()) {
        result.temporaryPath = output.path();
        result.newFileBits = output.newFileBits();
    }
    if (!channel.send(result))
        return false;  // the job is gone: `output` is removed
    if (output.ok())
        handedOver.set(output.path());
    output.release();
    return true;
}

}  // namespace

bool isEncodeWorkerCall(int argc, char** argv) {
    return argc >= 2 && argv[1] == kEncodeWorkerOption;
}

std::vector<std::string> encodeWorkerArguments() {
    return {program_invocation_name, std::string(kEncodeWorkerOption),
            std::to_string(worker::kProtocolVersion), std::to_string(::getpid())};
}

int runEncodeWorker(int argc, char** argv, FileEncoder& encoder) {
    if (argc != 4 || std::string_view(argv[2]) != std::to_string(worker::kProtocolVersion)) {
        std::fprintf(stderr, "%s: %s is for the program's own use\n", program_invocation_short_name,
                     argv[1]);
        return kWrongCall;
    }
    // The job's death cancels the file in hand, which removes its temporary output.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    const pid_t job = ::getppid();
    if (std::to_string(job) != argv[3])
        return kOrphan;
    // Only the job cancels (SIGTERM): a Ctrl-C or hang-up reaches the job too, which
    // then cancels every worker in its own time.
    installCancelSignals();
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGHUP, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);

    Channel channel;
    if (!channel.send(worker::Ready{}))
        return 0;
    HandedOver handedOver(job);
    for (;;) {
        const std::optional<worker::Message> message = channel.receive();
        if (!message)
            return 0;  // the job has no more work
        const auto* request = std::get_if<worker::EncodeRequest>(&*message);
        if (request == nullptr)
            return kGarbledRequest;
        handedOver.clear();
        if (!convert(*request, encoder, channel, handedOver))
            return 0;
        // A cancelled worker is never given another file.
        if (jobProgress().cancelRequested)
            return 0;
    }
}

void setEncodeWorkerProgram(std::string program) {
    workerProgram() = std::move(program);
}

const std::string& encodeWorkerProgram() {
    return workerProgram();
}

}  // namespace tembrel
