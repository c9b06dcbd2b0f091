// One unit of work started with one path: a single file, or a folder whose WAV, MP3
// and RMP files (and, when chosen, FLAC and Ogg files) are searched recursively. Encodes each file
// into a VQF file beside it, or collects the paths for renaming.
#pragma once

#include <sys/types.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "driver/file_encoder.h"
#include "driver/rename_list.h"
#include "driver/source_state.h"
#include "platform/dir_search.h"

namespace tembrel {

enum class JobMode : int32_t { EncodeToVqf = 0, AutoRename = 1 };
enum class PathKind : int32_t { File = 0, Folder = 1, Unresolved = -1 };

// Bits of ConvertJob::typeMask.
inline constexpr int32_t kTypeWav = 1;
inline constexpr int32_t kTypeMp3 = 2;
inline constexpr int32_t kTypeRmp = 4;
inline constexpr int32_t kTypeFlac = 8;
inline constexpr int32_t kTypeOgg = 16;
// What a job searches unless told otherwise: the three types of the original walk.
inline constexpr int32_t kDefaultTypes = kTypeWav | kTypeMp3 | kTypeRmp;

// ConvertJob::typeMask. A window may change it while the walk reads it (a type whose pass
// has not begun can still be switched on or off), so it is atomic; copies take its value.
class TypeMask {
  public:
    TypeMask(int32_t bits = kDefaultTypes) : bits_(bits) {}
    TypeMask(const TypeMask& other) : bits_(int32_t(other)) {}
    TypeMask& operator=(const TypeMask& other) { return *this = int32_t(other); }
    TypeMask& operator=(int32_t bits) {
        bits_ = bits;
        return *this;
    }
    operator int32_t() const { return bits_; }

  private:
    std::atomic<int32_t> bits_;
};

// Outputs written, by name (outputKey) and, once written, by file, so that two sources
// never share one however their paths were given.
struct OutputRecord {
    std::set<std::string> names;
    std::set<std::pair<dev_t, ino_t>> files;

    void clear() {
        names.clear();
        files.clear();
    }
};

struct SourceType {
    int32_t bit;
    std::string_view name;                       // "wav"
    std::string_view label;                      // "WAV", as the windows show it
    std::span<const std::string_view> patterns;  // "*.wav"
};
// In walk order.
extern const SourceType kSourceTypes[5];

// What happened to one file of an encoding job.
struct FileOutcome {
    // ConvertedWithWarning: the output is complete and in place, but something the user
    // asked for or should know of went wrong (the source could not be deleted, was cut
    // short, ...); it counts as converted.
    enum class Result { Converted, ConvertedWithWarning, Failed, Cancelled };
    std::string inputPath;
    std::string outputPath;
    Result result;
    std::string reason;  // why it failed, or the warning; empty for a clean conversion
};

// Told about every file as it is finished, on the thread that runs the job, in the order
// the files were started.
class JobListener {
  public:
    virtual ~JobListener() = default;
    virtual void fileDone(const FileOutcome& outcome) = 0;
};

struct FilesInHand;

class ConvertJob {
  public:
    ConvertJob();
    ~ConvertJob();
    ConvertJob(ConvertJob&&) noexcept;
    ConvertJob& operator=(ConvertJob&&) noexcept;

    JobMode mode = JobMode::EncodeToVqf;
    std::string inputPath;
    std::string outputPath;
    TypeMask typeMask = kDefaultTypes;
    std::string folderPath;
    PathKind kind = PathKind::Unresolved;
    RenameList* renameTarget = nullptr;
    // Encodes for an EncodeToVqf job, in this process; must be set before run() in that
    // mode. Files handed to worker processes are encoded by the workers' own encoder.
    FileEncoder* encoder = nullptr;
    // Optional.
    JobListener* listener = nullptr;
    // Optional: a record of outputs shared with other jobs (the windows' jobs of one
    // program run), in place of the job's own.
    OutputRecord* sharedOutputs = nullptr;
    // Set by a front end that runs this job for several paths in turn (runFiles() for
    // each, then waitForFiles() once), so that the files of different paths are converted
    // at the same time too. Otherwise a job of a single file converts it in this process.
    bool severalPaths = false;

    // What every front end does with a path the user gave: resets the two file counters
    // of JobProgress, keeps the path as folderPath and resolves it.
    void setUp(const std::string& path);
    // Looks the path up exactly; sets kind and both paths.
    void resolvePath(const std::string& path);
    // inputPath = path; outputPath = path with the extension of its last element
    // replaced by ".vqf" (appended when it has none).
    void setPaths(const std::string& path);
    // Runs the whole job: runFiles(), then waitForFiles().
    void run();
    // The file, or each file of the folder walk (source_walk.h) as the walk finds it.
    // With simultaneousFiles above 1 (and a worker program, encode_worker.h) the files
    // go to worker processes, up to that many at once, started in walk order; some may
    // still be converting when this returns. The current directory is the same afterwards.
    void runFiles();
    // Waits until every file started has been handled and told of, and ends the workers.
    void waitForFiles();
    // Handles the file in inputPath / outputPath according to mode.
    void convertOne();

    // Every file that did not convert, with the reason, in order.
    const std::vector<FileOutcome>& failures() const { return failures_; }
    // Every file that converted with a warning, in order.
    const std::vector<FileOutcome>& warnings() const { return warnings_; }

  private:
    // What an encoder left of one file.
    struct EncodeEnd {
        std::string failure;
        std::string warning;
        SafeReplace output;
    };

    // Every file of an encoding job has a ticket, in the order it was started; its
    // outcome is told of in that order.
    void fail(uint64_t ticket, const std::string& input, const std::string& output,
              FileOutcome::Result result, const std::string& reason);
    void finish(uint64_t ticket, FileOutcome outcome);
    // Every ticket is reported once: with its outcome, or with none for a file that was
    // never begun (the job was cancelled while it waited for a worker).
    void report(uint64_t ticket, std::optional<FileOutcome> outcome);
    // Converts a file in this process; fails it when the job was given no encoder.
    void encodeHere(uint64_t ticket, const std::string& input, const std::string& output,
                    const SourceState& before);
    // What becomes of a file once its encoder is done: its output put in place or
    // removed, its source deleted if asked, the counts and the report. Runs in the
    // folder the file was started in.
    void settle(uint64_t ticket, const std::string& input, const std::string& outputName,
                const SourceState& before, EncodeEnd end);
    // With keepPartialOnCancel: puts a cancelled run's output in place; what to add to the
    // report.
    std::string keepPartial(SafeReplace& output, std::optional<uint32_t> bits,
                            const std::string& outputName);
    bool outputAlreadyWritten(const std::string& output);
    void rememberOutput(const std::string& output);

    OutputRecord& writtenOutputs() { return sharedOutputs ? *sharedOutputs : ownOutputs_; }

    // Several files at once (files_in_hand.cpp).
    bool useWorkers() const;
    // Hands the file in inputPath / outputPath to a worker.
    enum class Handed { Yes, NoWorker, Cancelled };
    Handed handToWorker(uint64_t ticket, const SourceState& before);
    // Waits while a file in hand writes or reads either name.
    void waitForFilesTouching(const std::string& input, const std::string& output);
    // Waits a little for the workers and settles the files they are done with.
    void pumpWorkers();
    void publishFilesInHand();

    std::vector<FileOutcome> failures_;
    std::vector<FileOutcome> warnings_;
    OutputRecord ownOutputs_;
    uint64_t nextTicket_ = 0;
    uint64_t nextReport_ = 0;
    std::map<uint64_t, std::optional<FileOutcome>> waitingReports_;
    // The settings in force when the job began, for its workers.
    std::array<int32_t, 6> bitRates_{};
    bool nameFromFileName_ = false;
    bool convertOtherFormats_ = false;
    std::unique_ptr<FilesInHand> inHand_;
};

// What a looked-up path names.
PathKind pathKindOf(const PathLookup& found);
// outputPath of setPaths for an input path.
std::string vqfPathFor(const std::string& inputPath);
// The path and the name with exactly one "/" between them.
std::string joinPath(std::string_view directory, std::string_view name);
// Clears the read-only attribute, then deletes; false (errno set) when the file stays.
bool deleteFile(const std::string& path);
// The output path as one file system name: its folder canonical, the last name as given.
std::string outputKey(const std::string& path);

}  // namespace tembrel
