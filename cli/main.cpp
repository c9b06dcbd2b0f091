// tembrel-cli: the headless front end.
//   tembrel-cli info FILE...             what each file opens as, its format and tags
//   tembrel-cli encode [options] PATH...  convert files and folders into VQF files
//   tembrel-cli decode [-o OUT] FILE...   decode VQF files into WAV files
//   tembrel-cli rename [options] PATH...  rename files after their tags (--undo LOG)
//   tembrel-cli tag [--title T ...] FILE... show or change the texts of VQF files
//   tembrel-cli PATH...                   short form: ".vqf" files are shown, the rest encoded
#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/decode_command.h"
#include "cli/encode_command.h"
#include "cli/info_command.h"
#include "cli/rename_command.h"
#include "cli/subcommand.h"
#include "cli/tag_command.h"
#include "driver/cancel_signals.h"
#include "driver/convert_job.h"
#include "driver/convert_settings.h"
#include "sources/conversion_plan.h"

namespace tembrel::cli {
namespace {

constexpr int kUsageError = 2;

std::string bitRateOption(const BitRateChoice& choice) {
    return std::string("--") + (choice.channelMode == 0 ? "mono-" : "stereo-") +
           std::to_string(choice.kHz) + "k";
}

CommandRun setUpEncode(CLI::App& command, bool shortForm) {
    CLI::App* encode = &command;
    // Kept alive by the function returned, which runs after the parse has filled them.
    const auto shared = std::make_shared<EncodeRequest>();
    const auto sharedTypes = std::make_shared<std::vector<std::string>>();
    EncodeRequest& request = *shared;
    request.settings.resetToDefaults();
    request.showVqfFiles = shortForm;
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
    encode->add_flag(kConvertOtherFormatsOption, s.convertOtherFormats,
                     "Resample other sampling rates (48 kHz and more) to the nearest one VQF "
                     "takes, and take 24-bit, 32-bit and float samples");
    addTypesOption(*encode, *sharedTypes);
    encode->add_flag("-q,--quiet", request.quiet, "No progress and no summary");

    return [shared, sharedTypes] {
        EncodeRequest& request = *shared;
        if (!sharedTypes->empty())
            request.typeMask = typeMaskOf(*sharedTypes);
        return runEncode(request);
    };
}

// Every subcommand, in the order --help lists them.
constexpr Subcommand kSubcommands[] = {
    {"info", "Show what each file opens as, and its tags.", setUpInfo},
    {"decode", "Decode VQF files into WAV files.", setUpDecode},
    {"encode", "Convert files and folders into VQF files.", setUpEncode},
    {"rename", "Rename WAV, MP3, RMP, FLAC and Ogg files after their tags.", setUpRename},
    {"tag", "Show the texts of VQF files, or change those given as options.", setUpTag},
};

// The program's own options, taken as such only as the first argument.
constexpr std::string_view kProgramOptions[] = {"-h", "--help", "--help-all", "--version"};

// Anything that is not a subcommand or one of the program's own options is the short form.
bool isShortForm(const std::vector<std::string>& args) {
    if (args.empty() || std::find(std::begin(kProgramOptions), std::end(kProgramOptions),
                                  args[0]) != std::end(kProgramOptions))
        return false;
    return std::none_of(std::begin(kSubcommands), std::end(kSubcommands),
                        [&args](const Subcommand& s) { return args[0] == s.name; });
}

int run(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool shortForm = isShortForm(args);
    if (shortForm)
        args.insert(args.begin(), "encode");

    CLI::App app{"Converts WAV, MP3, RMP, FLAC, Ogg and VQF files into VQF files.", "tembrel-cli"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("tembrel-cli ") + TEMBREL_VERSION);
    app.set_help_all_flag("--help-all", "Print the help of every subcommand and exit");
    std::string names;
    for (const Subcommand& s : kSubcommands)
        names += std::string(names.empty() ? "./" : ", ./") + s.name;
    app.footer(
        "Short form: tembrel-cli [encode options] PATH... shows each \".vqf\" file\n"
        "and encodes everything else. A file named like a subcommand is given as\n"
        "./NAME (" +
        names + ").");
    std::vector<std::pair<const CLI::App*, CommandRun>> commands;
    for (const Subcommand& s : kSubcommands) {
        CLI::App* command = app.add_subcommand(s.name, s.help);
        commands.emplace_back(command, s.setUp(*command, shortForm));
    }

    try {
        std::reverse(args.begin(), args.end());
        app.parse(args);
    } catch (const CLI::Success& e) {  // --help, --version
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kUsageError;
    }

    for (const auto& [command, runCommand] : commands) {
        if (command->parsed()) {
            // Ctrl-C, kill and a closed terminal cancel every command as its Cancel would
            // (a command may install handlers of its own instead).
            installCancelSignals();
            return runCommand();
        }
    }
    return kUsageError;  // not reached: exactly one subcommand is required
}

}  // namespace
}  // namespace tembrel::cli

int main(int argc, char** argv) {
    return tembrel::cli::run(argc, argv);
}
