#include "driver/convert_job.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "driver/convert_settings.h"
#include "driver/job_progress.h"
#include "driver/source_state.h"
#include "driver/source_walk.h"
#include "platform/dir_search.h"
#include "platform/file_attributes.h"
#include "platform/file_ops.h"
#include "platform/path_names.h"

namespace tembrel {

namespace {
constexpr std::string_view kWavPatterns[] = {"*.wav"};
constexpr std::string_view kMp3Patterns[] = {"*.mp3"};
constexpr std::string_view kRmpPatterns[] = {"*.rmp"};
constexpr std::string_view kFlacPatterns[] = {"*.flac"};
constexpr std::string_view kOggPatterns[] = {"*.ogg", "*.opus"};
}  // namespace

const SourceType kSourceTypes[5] = {
    {kTypeWav, "wav", "WAV", kWavPatterns}, {kTypeMp3, "mp3", "MP3", kMp3Patterns},
    {kTypeRmp, "rmp", "RMP", kRmpPatterns}, {kTypeFlac, "flac", "FLAC", kFlacPatterns},
    {kTypeOgg, "ogg", "Ogg", kOggPatterns},
};

namespace {

// The same file by name or by identity (a hard or symbolic link to it).
bool sameFile(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

std::string errorText(int error) {
    return std::strerror(error);
}

}  // namespace

std::string joinPath(std::string_view directory, std::string_view name) {
    std::string out(directory);
    if (out.empty() || out.back() != '/')
        out += '/';
    out += name;
    return out;
}

std::string vqfPathFor(const std::string& inputPath) {
    return replaceExtension(inputPath, kVqfExtension);
}

bool deleteFile(const std::string& path) {
    return removeFile(path);
}

std::string outputKey(const std::string& path) {
    // The folder by its canonical path, the name as given: a link at the output's name is
    // replaced as a name, so it is not followed. Paths given bare, with "./", absolute or
    // through a linked folder give the same key.
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec).lexically_normal();
    if (ec)
        return path;
    fs::path folder = fs::weakly_canonical(absolute.parent_path(), ec);
    if (ec)
        folder = absolute.parent_path();
    return (folder / absolute.filename()).string();
}

PathKind pathKindOf(const PathLookup& found) {
    if (!found.exists)
        return PathKind::Unresolved;
    return found.isDirectory ? PathKind::Folder : PathKind::File;
}

void ConvertJob::setPaths(const std::string& path) {
    inputPath = path;
    outputPath = vqfPathFor(path);
}

void ConvertJob::setUp(const std::string& path) {
    jobProgress().resetCounters();
    folderPath = path;
    resolvePath(path);
}

void ConvertJob::resolvePath(const std::string& path) {
    const PathLookup found = lookupPath(path);
    kind = pathKindOf(found);
    setPaths(found.exists ? found.path : path);
}

void ConvertJob::run() {
    runFiles();
    waitForFiles();
}

void ConvertJob::runFiles() {
    // A cancel left from an earlier job must not make this one collect nothing.
    if (mode == JobMode::AutoRename)
        jobProgress().cancelRequested = false;
    if (mode == JobMode::EncodeToVqf) {
        // What the encoder is told here, every worker is told with each file (the
        // EncodeRequest of worker_messages.h), so that each output is the same either way.
        const ConvertSettings& settings = convertSettings();
        bitRates_ = settings.bitRates;
        nameFromFileName_ = settings.noSongTitle;
        convertOtherFormats_ = settings.convertOtherFormats;
        if (encoder != nullptr) {
            encoder->copyBitRates(settings.bitRates);
            encoder->setNameFromFileName(settings.noSongTitle);
            encoder->setConvertOtherFormats(settings.convertOtherFormats);
        }
    }
    if (kind == PathKind::File) {
        convertOne();
        return;
    }
    const auto convert = [this](const std::string& path) {
        setPaths(path);
        convertOne();
    };
    const WalkEnd end = walkSources(
        folderPath, [this] { return typeMask; }, convertSettings(), convert);
    if (end == WalkEnd::Done)
        return;
    const uint64_t ticket = nextTicket_++;
    if (end == WalkEnd::NoCurrentDirectory) {
        fail(ticket, folderPath, "", FileOutcome::Result::Failed,
             "cannot tell the current directory");
    } else {
        // A path that names nothing is one failure.
        fail(ticket, folderPath, "", FileOutcome::Result::Failed, "no such file or folder");
    }
}

void ConvertJob::fail(uint64_t ticket, const std::string& input, const std::string& output,
                      FileOutcome::Result result, const std::string& reason) {
    jobProgress().failureCount++;
    report(ticket, FileOutcome{input, output, result, reason});
}

void ConvertJob::finish(uint64_t ticket, FileOutcome outcome) {
    jobProgress().successCount++;
    report(ticket, std::move(outcome));
}

void ConvertJob::report(uint64_t ticket, std::optional<FileOutcome> outcome) {
    // Files finish in any order when several are converted at once; they are told of in
    // the order they were started.
    waitingReports_.emplace(ticket, std::move(outcome));
    while (!waitingReports_.empty() && waitingReports_.begin()->first == nextReport_) {
        std::optional<FileOutcome> next = std::move(waitingReports_.begin()->second);
        waitingReports_.erase(waitingReports_.begin());
        ++nextReport_;
        if (!next)
            continue;
        if (listener != nullptr)
            listener->fileDone(*next);
        if (next->result == FileOutcome::Result::ConvertedWithWarning)
            warnings_.push_back(std::move(*next));
        else if (next->result != FileOutcome::Result::Converted)
            failures_.push_back(std::move(*next));
    }
}

bool ConvertJob::outputAlreadyWritten(const std::string& output) {
    const OutputRecord& written = writtenOutputs();
    if (written.names.contains(outputKey(output)))
        return true;
    struct stat st {};
    return lstat(output.c_str(), &st) == 0 && written.files.contains({st.st_dev, st.st_ino});
}

void ConvertJob::rememberOutput(const std::string& output) {
    OutputRecord& written = writtenOutputs();
    written.names.insert(outputKey(output));
    struct stat st {};
    if (lstat(output.c_str(), &st) == 0)
        written.files.insert({st.st_dev, st.st_ino});
}

void ConvertJob::convertOne() {
    if (mode == JobMode::AutoRename) {
        if (renameTarget != nullptr)
            renameTarget->appendPath(inputPath);
        return;
    }
    if (mode != JobMode::EncodeToVqf)
        return;

    const uint64_t ticket = nextTicket_++;
    const bool inWorkers = useWorkers();
    if (!inWorkers)
        jobProgress().setCurrentFile(inputPath);

    // What a file still in hand does to this one's name is known only once it is done.
    if (inWorkers)
        waitForFilesTouching(inputPath, outputPath);
    if (sameFile(inputPath, outputPath)) {
        fail(ticket, inputPath, outputPath, FileOutcome::Result::Failed,
             "the output would overwrite the source itself");
        return;
    }
    if (outputAlreadyWritten(outputPath)) {
        fail(ticket, inputPath, outputPath, FileOutcome::Result::Failed,
             outputPath + " was already written from another source in this job");
        return;
    }

    const SourceState before = SourceState::of(inputPath);
    if (inWorkers) {
        switch (handToWorker(ticket, before)) {
            case Handed::Yes:
                return;
            case Handed::Cancelled:
                // Never begun, as if the walk had stopped before it.
                report(ticket, std::nullopt);
                return;
            case Handed::NoWorker:
                jobProgress().setCurrentFile(inputPath);
                break;
        }
    }
    encodeHere(ticket, inputPath, outputPath, before);
}

void ConvertJob::encodeHere(uint64_t ticket, const std::string& input, const std::string& output,
                            const SourceState& before) {
    if (encoder == nullptr) {
        fail(ticket, input, output, FileOutcome::Result::Failed, "no encoder");
        return;
    }
    encoder->encodeFile(input, output);
    settle(ticket, input, output, before,
           {encoder->failureReason(), encoder->warning(), encoder->takeOutput()});
}

void ConvertJob::settle(uint64_t ticket, const std::string& input, const std::string& outputName,
                        const SourceState& before, EncodeEnd end) {
    const JobProgress& progress = jobProgress();
    const ConvertSettings& settings = convertSettings();
    // Complete, partial or none; whatever is not put in place below is removed with it.
    SafeReplace& output = end.output;
    // The output takes the source's permission bits, as a new file's when not asked to.
    const std::optional<uint32_t> bits =
        settings.noAttributeInherit ? std::nullopt : readAttributes(input);

    if (!end.failure.empty() && !progress.cancelRequested) {
        // A failed conversion leaves no partial output and never costs the source or an
        // older output.
        fail(ticket, input, outputName, FileOutcome::Result::Failed, end.failure);
        return;
    }
    if (progress.cancelRequested) {
        std::string reason = "cancelled";
        if (settings.keepPartialOnCancel && output.ok())
            reason += keepPartial(output, bits, outputName);
        fail(ticket, input, outputName, FileOutcome::Result::Cancelled, reason);
        return;
    }
    const SourceState after = SourceState::of(input);
    if (!after.sameFile(before)) {
        // Removed or replaced while it was read: the output holds the whole file as it was
        // opened and may be the only copy of that audio left, so it is put in place;
        // whatever has the name now was never converted and is not deleted.
        const bool kept = output.commit(bits);
        if (kept)
            rememberOutput(outputName);
        fail(ticket, input, outputName, FileOutcome::Result::Failed,
             "the source was removed or replaced while it was converted; " +
                 (kept ? outputName + " is kept"
                       : "its output could not be kept: " + errorText(output.error())));
        return;
    }
    if (!after.sameContents(before)) {
        // Cut short or rewritten while it was read: the output mixes old and new contents.
        fail(ticket, input, outputName, FileOutcome::Result::Failed,
             "the source changed while it was converted");
        return;
    }

    std::vector<std::string> warnings;
    if (!output.commit(bits)) {
        // Some file systems refuse permission bits; the output is still worth having. Any
        // other failure (a write that did not reach the disk) fails the file.
        const int error = output.error();
        const bool bitsRefused = error == EPERM || error == EOPNOTSUPP;
        if (!bits || !bitsRefused || !output.ok() || !output.commit()) {
            fail(ticket, input, outputName, FileOutcome::Result::Failed,
                 "cannot put " + outputName + " in place: " + errorText(output.error()));
            return;
        }
        warnings.push_back("the source's permissions could not be given to " + outputName);
    }
    rememberOutput(outputName);

    // A source that delivered less than it announces keeps what the output lacks.
    const std::string& shortfall = end.warning;
    if (!shortfall.empty())
        warnings.push_back(shortfall + (settings.deleteSource ? "; the source is kept" : ""));
    if (settings.deleteSource && shortfall.empty() && !deleteFile(input))
        warnings.push_back("the source could not be deleted: " + errorText(errno));

    std::string reason;
    for (const std::string& w : warnings)
        reason += (reason.empty() ? "" : "; ") + w;
    finish(ticket, {input, outputName,
                    warnings.empty() ? FileOutcome::Result::Converted
                                     : FileOutcome::Result::ConvertedWithWarning,
                    reason});
}

std::string ConvertJob::keepPartial(SafeReplace& output, std::optional<uint32_t> bits,
                                    const std::string& outputName) {
    // Never over an older output: the partial file takes the name only when it is free,
    // else a name of its own beside it.
    if (output.commitNoReplace(bits))
        return "; the partial output is kept as " + outputName;
    if (output.error() == EEXIST) {
        const std::string partial = replaceExtension(outputName, ".partial.vqf");
        if (output.commitNoReplace(bits, partial))
            return "; the partial output is kept as " + partial;
    }
    return "; the partial output could not be kept: " + errorText(output.error());
}

}  // namespace tembrel
