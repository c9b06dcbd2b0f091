// The part of a job that converts several files at once: each file goes to a worker
// process (encode_worker.h) and is settled here, in the folder it was started in, when
// its worker is done with it.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <limits>

#include "driver/convert_job.h"
#include "driver/convert_settings.h"
#include "driver/encode_worker.h"
#include "driver/job_progress.h"
#include "driver/worker_pool.h"
#include "platform/file_ops.h"
#include "platform/path_names.h"

namespace tembrel {
namespace {

// How long the job waits for its workers before it looks at the cancel flag again.
constexpr auto kPumpInterval = std::chrono::milliseconds(50);

// A folder held open, to come back to however it has been renamed since.
class FolderHandle {
  public:
    FolderHandle() : fd_(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC)) {}
    FolderHandle(FolderHandle&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FolderHandle& operator=(FolderHandle&&) = delete;
    ~FolderHandle() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool valid() const { return fd_ >= 0; }
    bool enter() const { return fd_ >= 0 && ::fchdir(fd_) == 0; }

  private:
    int fd_;
};

// The names a path is known by: its output key (the folder canonical, the name as
// given) and, when it exists, the file it leads to.
void addNamesOf(const std::string& path, std::set<std::string>& names) {
    names.insert(outputKey(path));
    std::error_code ec;
    const std::filesystem::path real = std::filesystem::canonical(path, ec);
    if (!ec)
        names.insert(real.string());
}

// A temporary file a worker names must be one it could have made for `output`: a hidden
// name of its own in the output's folder (so that not even a garbled worker can have a
// user's file removed or put in place as an output).
bool isTemporaryFor(const std::string& temporary, const std::string& output) {
    const std::string_view name = lastElementOf(temporary);
    const std::string_view folder =
        std::string_view(output).substr(0, output.size() - lastElementOf(output).size());
    return name.size() > 1 && name.starts_with('.') && name != ".." &&
           name != lastElementOf(output) && temporary.size() == folder.size() + name.size() &&
           temporary.starts_with(folder);
}

int32_t clampToInt32(int64_t value) {
    return int32_t(std::min<int64_t>(value, std::numeric_limits<int32_t>::max()));
}

}  // namespace

struct FilesInHand {
    struct File {
        std::string input;
        std::string output;
        std::set<std::string> names;
        SourceState before;
        FolderHandle folder;
    };
    std::unique_ptr<WorkerPool> pool;
    std::map<uint64_t, File> files;
};

ConvertJob::ConvertJob() = default;
ConvertJob::~ConvertJob() = default;
ConvertJob::ConvertJob(ConvertJob&&) noexcept = default;
ConvertJob& ConvertJob::operator=(ConvertJob&&) noexcept = default;

bool ConvertJob::useWorkers() const {
    return mode == JobMode::EncodeToVqf && (kind != PathKind::File || severalPaths) &&
           convertSettings().simultaneousFiles > 1 && !encodeWorkerProgram().empty() &&
           !jobProgress().cancelRequested;
}

ConvertJob::Handed ConvertJob::handToWorker(uint64_t ticket, const SourceState& before) {
    if (!inHand_)
        inHand_ = std::make_unique<FilesInHand>();
    FilesInHand& hand = *inHand_;
    if (!hand.pool) {
        hand.pool = std::make_unique<WorkerPool>(encodeWorkerProgram(), encodeWorkerArguments(),
                                                 convertSettings().simultaneousFiles);
    }
    FilesInHand::File file{inputPath, outputPath, {}, before, FolderHandle()};
    const std::string folder = currentDirectory();
    if (folder.empty() || !file.folder.valid())
        return Handed::NoWorker;
    addNamesOf(inputPath, file.names);
    addNamesOf(outputPath, file.names);
    const worker::EncodeRequest request{folder,    inputPath,         outputPath,
                                        bitRates_, nameFromFileName_, convertOtherFormats_};
    for (;;) {
        // A file not yet begun is no longer handed out once the job is cancelled.
        if (jobProgress().cancelRequested)
            return Handed::Cancelled;
        switch (hand.pool->submit(ticket, request)) {
            case WorkerPool::Submitted::Yes:
                hand.files.emplace(ticket, std::move(file));
                publishFilesInHand();
                return Handed::Yes;
            case WorkerPool::Submitted::NoWorker:
                return Handed::NoWorker;
            case WorkerPool::Submitted::AllBusy:
                pumpWorkers();
                break;
        }
    }
}

void ConvertJob::waitForFilesTouching(const std::string& input, const std::string& output) {
    if (!inHand_)
        return;
    std::set<std::string> names;
    addNamesOf(input, names);
    addNamesOf(output, names);
    const auto touches = [&names](const auto& entry) {
        return std::any_of(entry.second.names.begin(), entry.second.names.end(),
                           [&names](const std::string& n) { return names.contains(n); });
    };
    while (std::any_of(inHand_->files.begin(), inHand_->files.end(), touches))
        pumpWorkers();
}

void ConvertJob::pumpWorkers() {
    FilesInHand& hand = *inHand_;
    if (jobProgress().cancelRequested)
        hand.pool->cancel();
    for (WorkerPool::Done& done : hand.pool->pump(kPumpInterval)) {
        const auto found = hand.files.find(done.ticket);
        if (found == hand.files.end())
            continue;
        FilesInHand::File file = std::move(found->second);
        hand.files.erase(found);

        // Relative paths and the output record mean what they meant when the file began.
        CurrentDirectoryGuard here;
        file.folder.enter();
        const std::string& temporary = done.how == WorkerPool::Done::How::Answered
                                           ? done.result.temporaryPath
                                           : done.temporaryPath;
        SafeReplace output;
        if (!temporary.empty() && isTemporaryFor(temporary, file.output))
            output = SafeReplace::adopt(file.output, temporary, done.result.newFileBits);

        switch (done.how) {
            case WorkerPool::Done::How::Answered: {
                std::string failure = done.result.failure;
                using End = worker::Result::End;
                if (done.result.end == End::Completed && !output.ok())
                    failure = "the output of its conversion process cannot be taken over";
                else if (done.result.end == End::Cancelled && failure.empty())
                    failure = "its conversion process was stopped from outside";
                else if (done.result.end == End::Failed && failure.empty())
                    failure = "its conversion process failed";
                settle(done.ticket, file.input, file.output, file.before,
                       {failure, done.result.warning, std::move(output)});
                break;
            }
            case WorkerPool::Done::How::Lost:
                // Whatever it had written goes with it.
                output.abandon();
                settle(done.ticket, file.input, file.output, file.before, {done.reason, {}, {}});
                break;
            case WorkerPool::Done::How::NotStarted:
                // No worker can run: this file, and every one after it, is converted here.
                encodeHere(done.ticket, file.input, file.output, file.before);
                break;
        }
    }
    publishFilesInHand();
}

void ConvertJob::publishFilesInHand() {
    JobProgress& progress = jobProgress();
    std::vector<std::string> paths;
    int64_t done = 0;
    int64_t total = 0;
    for (const WorkerPool::InHand& f : inHand_->pool->inHand()) {
        const auto found = inHand_->files.find(f.ticket);
        if (found == inHand_->files.end())
            continue;
        paths.push_back(found->second.input);
        done += std::max(f.framesDone, 0);
        total += std::max(f.framesTotal, 0);
    }
    if (paths.empty()) {
        // Between files, or at the end: what was in hand is done.
        progress.framesDone = int32_t(progress.framesTotal);
        return;
    }
    progress.setFilesInHand(std::move(paths));
    progress.framesTotal = clampToInt32(total);
    progress.framesDone = clampToInt32(done);
}

void ConvertJob::waitForFiles() {
    if (!inHand_)
        return;
    while (!inHand_->files.empty())
        pumpWorkers();
    // Ends the workers.
    inHand_.reset();
}

}  // namespace tembrel
