// One unit of work started with one path: a single file, or a folder whose WAV, MP3
// and RMP files are searched recursively. Encodes each file into a VQF file beside it,
// or collects the paths for renaming.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "driver/file_encoder.h"
#include "driver/rename_list.h"
#include "platform/dir_search.h"

namespace tembrel {

enum class JobMode : int32_t { EncodeToVqf = 0, AutoRename = 1 };
enum class PathKind : int32_t { File = 0, Folder = 1, Unresolved = -1 };

// Bits of ConvertJob::typeMask.
inline constexpr int32_t kTypeWav = 1;
inline constexpr int32_t kTypeMp3 = 2;
inline constexpr int32_t kTypeRmp = 4;
inline constexpr int32_t kAllTypes = kTypeWav | kTypeMp3 | kTypeRmp;

struct SourceType {
    int32_t bit;
    std::string_view name;     // "wav"
    std::string_view pattern;  // "*.wav"
};
// In walk order.
extern const SourceType kSourceTypes[3];

// What happened to one file of an encoding job.
struct FileOutcome {
    enum class Result { Converted, Failed, Cancelled };
    std::string inputPath;
    std::string outputPath;
    Result result;
    std::string reason;  // why it failed; empty otherwise
};

// Told about every file as it is finished, on the thread that runs the job.
class JobListener {
  public:
    virtual ~JobListener() = default;
    virtual void fileDone(const FileOutcome& outcome) = 0;
};

class ConvertJob {
  public:
    JobMode mode = JobMode::EncodeToVqf;
    std::string inputPath;
    std::string outputPath;
    int32_t typeMask = kAllTypes;
    std::string folderPath;
    PathKind kind = PathKind::Unresolved;
    RenameList* renameTarget = nullptr;
    // Encodes for an EncodeToVqf job; must be set before run() in that mode.
    FileEncoder* encoder = nullptr;
    // Optional.
    JobListener* listener = nullptr;

    // What every front end does with a path the user gave: resets the two file counters
    // of JobProgress, keeps the path as folderPath and resolves it.
    void setUp(const std::string& path);
    // Looks the path up exactly; sets kind and both paths.
    void resolvePath(const std::string& path);
    // inputPath = path; outputPath = path with the extension of its last element
    // replaced by ".vqf" (appended when it has none).
    void setPaths(const std::string& path);
    // Runs the whole job: the file, or each file of the folder walk (source_walk.h) as
    // the walk finds it. The current directory is the same afterwards.
    void run();
    // Handles the file in inputPath / outputPath according to mode.
    void convertOne();

    // Every file that did not convert, with the reason, in order.
    const std::vector<FileOutcome>& failures() const { return failures_; }

  private:
    void fail(const std::string& input, const std::string& output, FileOutcome::Result result,
              const std::string& reason);

    std::vector<FileOutcome> failures_;
    // Outputs this job has written, normalised, so that two sources never share one.
    std::set<std::string> writtenOutputs_;
};

// What a looked-up path names.
PathKind pathKindOf(const PathLookup& found);
// outputPath of setPaths for an input path.
std::string vqfPathFor(const std::string& inputPath);
// The path and the name with exactly one "/" between them.
std::string joinPath(std::string_view directory, std::string_view name);
// Clears the read-only attribute, then deletes; failures are ignored.
void deleteFile(const std::string& path);

}  // namespace tembrel
