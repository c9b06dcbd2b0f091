#include "cli/info_command.h"

#include <CLI/CLI.hpp>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>

#include "cli/decode_command.h"
#include "driver/cancel_signals.h"
#include "platform/text_encoding.h"
#include "platform/text_field.h"
#include "sources/conversion_plan.h"
#include "sources/source_selector.h"
#include "tags/song_tags.h"

namespace tembrel::cli {

namespace {

// Tag texts are CP932 bytes; the terminal takes UTF-8.
void showText(std::ostream& out, const char* field, const char* value, std::size_t size) {
    const std::string_view bytes = fieldText({value, size});
    if (bytes.empty())
        return;
    out << "  " << field << ": " << text::cp932ToUtf8(bytes) << '\n';
}

void showTags(std::ostream& out, const SongTags& tags) {
    out << "  data: offset " << tags.dataOffset << ", " << tags.dataLength << " bytes\n";
    showText(out, "title", tags.title, sizeof tags.title);
    showText(out, "artist", tags.artist, sizeof tags.artist);
    showText(out, "album", tags.album, sizeof tags.album);
    showText(out, "year", tags.year, sizeof tags.year);
    showText(out, "comment", tags.comment, sizeof tags.comment);
    showText(out, "copyright", tags.copyright, sizeof tags.copyright);
    showText(out, "fileName", tags.fileName, sizeof tags.fileName);
    if (tags.track != 0)
        out << "  track: " << tags.track << '\n';
    showText(out, "genre", tags.genre, sizeof tags.genre);
    if (tags.genre[0] != '\0')
        out << "  genreIndex: " << tags.genreIndex << '\n';
    showText(out, "software", tags.software, sizeof tags.software);
    showText(out, "url", tags.url, sizeof tags.url);
    showText(out, "sourceArtist", tags.sourceArtist, sizeof tags.sourceArtist);
    showText(out, "composer", tags.composer, sizeof tags.composer);
}

// Why a path cannot be read as a file at all; empty when it can.
std::string unreadableReason(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return std::strerror(errno);
    if (S_ISDIR(st.st_mode))
        return "is a folder";
    // Opening a FIFO could block, reading a device might never end.
    if (!S_ISREG(st.st_mode))
        return "not a regular file";
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         std::fclose);
    if (!file)
        return std::strerror(errno);
    return {};
}

}  // namespace

bool showInfo(const std::string& path, std::ostream& out, std::ostream& err) {
    const std::string unreadable = unreadableReason(path);
    if (!unreadable.empty()) {
        err << "tembrel-cli: " << path << ": " << unreadable << '\n';
        return false;
    }
    out << path << '\n';
    bool ok = true;
    {
        SourceSelector selector;
        if (selector.open(path.c_str(), false)) {
            const WAVEFORMATEX& f = *selector.format;
            out << "  kind: " << selector.kindName << '\n'
                << "  wFormatTag: " << f.wFormatTag << '\n'
                << "  nChannels: " << f.nChannels << '\n'
                << "  nSamplesPerSec: " << f.nSamplesPerSec << '\n'
                << "  nAvgBytesPerSec: " << f.nAvgBytesPerSec << '\n'
                << "  nBlockAlign: " << f.nBlockAlign << '\n'
                << "  wBitsPerSample: " << f.wBitsPerSample << '\n'
                << "  cbSize: " << f.cbSize << '\n'
                << "  length: " << selector.length << " bytes\n";
            const ConversionPlan plan = planConversion(f, selector.source->decodesToFloat());
            if (!plan.refusal.empty())
                out << "  conversion: refused: " << plan.refusal << '\n';
            else if (plan.needsSwitch())
                out << "  conversion: " << conversionSummary(plan) << " (with "
                    << kConvertOtherFormatsOption << ")\n";
        } else {
            out << "  kind: none\n";
            err << "tembrel-cli: " << path << ": " << selector.whyNotOpened() << '\n';
            ok = false;
        }
    }
    showVqfHeader(path, out);
    // SongTags is large; keep it off the stack.
    auto tags = std::make_unique<SongTags>();
    tags->read(path);
    showTags(out, *tags);
    return ok;
}

int runInfo(const std::vector<std::string>& paths) {
    bool ok = true;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (cancelSignalled())
            return 130;
        if (i > 0)
            std::cout << '\n';
        ok = showInfo(paths[i], std::cout, std::cerr) && ok;
        std::cout.flush();
    }
    return ok ? 0 : 1;
}

CommandRun setUpInfo(CLI::App& command, bool) {
    const auto paths = std::make_shared<std::vector<std::string>>();
    command.add_option("FILE", *paths, "Files to show")->required();
    return [paths] { return runInfo(*paths); };
}

}  // namespace tembrel::cli
