// tembrel-cli: the headless front end.
//   tembrel-cli info FILE...             what each file opens as, its format and tags
//   tembrel-cli encode [options] PATH...  convert files and folders into VQF files
//   tembrel-cli decode [-o OUT] FILE...   decode VQF files into WAV files
//   tembrel-cli PATH...                   short form: ".vqf" files are shown, the rest encoded
#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "cli/decode_command.h"
#include "cli/encode_command.h"
#include "cli/info_command.h"
#include "driver/cancel_signals.h"
#include "driver/convert_job.h"
#include "driver/convert_settings.h"
#include "platform/path_names.h"

namespace tembrel::cli {
namespace {

constexpr int kUsageError = 2;

std::string bitRateOption(const BitRateChoice& choice) {
    return std::string("--") + (choice.channelMode == 0 ? "mono-" : "stereo-") +
           std::to_string(choice.kHz) + "k";
}

int run(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    // Anything that is not a subcommand or a request for help is the short form.
    bool shortForm = false;
    if (!args.empty() && args[0] != "info" && args[0] != "encode" && args[0] != "decode" &&
        args[0] != "-h" && args[0] != "--help") {
        shortForm = true;
        args.insert(args.begin(), "encode");
    }

    CLI::App app{"Converts WAV, MP3, RMP and VQF files into VQF files.", "tembrel-cli"};
    app.require_subcommand(1);
    app.footer(
        "Short form: tembrel-cli [encode options] PATH... shows each \".vqf\" file\n"
        "and encodes everything else.");

    std::vector<std::string> infoPaths;
    CLI::App* info = app.add_subcommand("info", "Show what each file opens as, and its tags.");
    info->add_option("FILE", infoPaths, "Files to show")->required();
    DecodeCommand decode(app);

    EncodeRequest request;
    request.settings.resetToDefaults();
    CLI::App* encode = app.add_subcommand("encode", "Convert files and folders into VQF files.");
    encode->add_option("PATH", request.paths, "Files or folders; folders are searched")->required();
    for (std::size_t i = 0; i < kBitRateChoices.size(); ++i) {
        const BitRateChoice& choice = kBitRateChoices[i];
        const std::string help = "kbit/s for " + std::to_string(choice.kHz) + " kHz " +
                                 (choice.channelMode == 0 ? "mono" : "stereo") + ": " +
                                 offeredBitRatesText(choice) + " (default " +
                                 std::to_string(choice.defaultValue) + ")";
        encode->add_option(bitRateOption(choice), request.settings.bitRates[i], help)
            ->type_name("KBPS")
            ->check(CLI::Validator(
                [&choice](std::string& value) -> std::string {
                    const auto rate = bitRateOfText(value);
                    if (rate && isOfferedBitRate(choice, *rate))
                        return {};
                    return value + " is not allowed; choose " + offeredBitRatesText(choice);
                },
                "", "bit rate"));
    }
    ConvertSettings& s = request.settings;
    encode->add_flag("--delete-source", s.deleteSource,
                     "Delete each source after its VQF file is complete");
    encode->add_flag("--name-from-file", s.noSongTitle,
                     "Name each song after its file name, whatever its tags say");
    encode->add_flag("--keep-partial", s.keepPartialOnCancel,
                     "Keep the partly written file when cancelled");
    encode->add_flag("--skip-subfolders", s.skipSubfolders, "Do not search subfolders");
    encode->add_flag("--skip-hidden", s.skipHidden, "Pass over hidden files");
    encode->add_flag("--no-attributes", s.noAttributeInherit,
                     "Do not give VQF files the permissions of their sources");
    encode->add_flag("--no-sound", s.noCompletionSound, "No bell at the end on a terminal");
    std::vector<std::string> types;
    encode->add_option("--types", types, "Source types a folder search takes (default wav,mp3,rmp)")
        ->delimiter(',')
        ->check(CLI::IsMember({"wav", "mp3", "rmp"}, CLI::ignore_case));
    encode->add_flag("-q,--quiet", request.quiet, "No progress and no summary");

    try {
        std::reverse(args.begin(), args.end());
        app.parse(args);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kUsageError;
    }

    // Ctrl-C, kill and a closed terminal cancel every command as its Cancel would.
    installCancelSignals();
    if (info->parsed())
        return runInfo(infoPaths);
    if (decode.parsed())
        return decode.run();

    if (!types.empty()) {
        request.typeMask = 0;
        for (const std::string& type : types) {
            for (const SourceType& known : kSourceTypes) {
                if (equalsIgnoringCase(type, known.name))
                    request.typeMask |= known.bit;
            }
        }
    }
    request.showVqfFiles = shortForm;
    return runEncode(request);
}

}  // namespace
}  // namespace tembrel::cli

int main(int argc, char** argv) {
    return tembrel::cli::run(argc, argv);
}
