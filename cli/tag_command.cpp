#include "cli/tag_command.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>

#include "platform/text_encoding.h"
#include "tagedit/header_texts.h"

namespace tembrel::cli {
namespace {

constexpr int kUsageError = 2;
constexpr int kInterrupted = 130;

volatile std::sig_atomic_t interrupted = 0;
void onInterrupt(int) {
    interrupted = 1;
}

// SIGINT, SIGTERM and SIGHUP wait while a file is replaced, so that a save is either
// done or not begun, never left with its temporary file.
class SignalsHeld {
  public:
    SignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (int s : kSignals)
            sigaddset(&held, s);
        sigprocmask(SIG_BLOCK, &held, &saved_);
    }
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

  private:
    sigset_t saved_{};
};

void installHandlers() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (int s : SignalsHeld::kSignals)
        sigaction(s, &action, nullptr);
}

// One line per text: control characters and backslashes escaped, so that a comment of
// several lines stays on its line and can be told apart.
std::string shownText(const std::string& cp932) {
    std::ostringstream out;
    for (const char c : text::cp932ToUtf8(cp932)) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\\')
            out << "\\\\";
        else if (c == '\n')
            out << "\\n";
        else if (c == '\t')
            out << "\\t";
        else if (b < 0x20 || b == 0x7F)
            out << "\\x" << std::hex << std::setw(2) << std::setfill('0') << int(b) << std::dec;
        else
            out << c;
    }
    return out.str();
}

void showTexts(const std::string& path, const tagedit::HeaderTexts& texts, std::ostream& out) {
    out << path << '\n';
    for (const tagedit::EditorField& field : tagedit::kEditorFields) {
        const std::size_t i = *tagedit::textIndex(field.chunkId);
        out << "  \"" << field.chunkId << "\" " << kUserTextChunks[i].name << ':';
        if (texts.texts[i])
            out << ' ' << shownText(*texts.texts[i]);
        out << '\n';
    }
}

void showFailure(const std::string& path, std::string_view message, const std::string& why,
                 std::ostream& err) {
    err << "tembrel-cli: " << path << ": " << message;
    if (!why.empty())
        err << " (" << why << ')';
    err << '\n';
}

}  // namespace

bool TagRequest::editing() const {
    for (const auto& edit : edits) {
        if (edit)
            return true;
    }
    return false;
}

int runTag(const TagRequest& request, std::ostream& out, std::ostream& err,
           const volatile std::sig_atomic_t* stop) {
    bool ok = true;
    for (const std::string& path : request.paths) {
        if (stop && *stop)
            break;
        tagedit::ReadResult read = tagedit::readHeaderTexts(path);
        if (!read.ok()) {
            showFailure(path, tagedit::kReadFailedMessage, read.why, err);
            ok = false;
            continue;
        }
        if (request.editing()) {
            if (stop && *stop)
                break;
            tagedit::SaveResult saved;
            {
                const SignalsHeld held;
                saved = tagedit::saveHeaderTexts(path, &*read.texts, request.edits);
            }
            if (!saved.ok()) {
                showFailure(path, saved.message, saved.why, err);
                ok = false;
                continue;
            }
            read = tagedit::readHeaderTexts(path);
            if (!read.ok()) {
                showFailure(path, tagedit::kReadFailedMessage, read.why, err);
                ok = false;
                continue;
            }
        }
        showTexts(path, *read.texts, out);
        out.flush();
    }
    return ok ? 0 : 1;
}

CommandRun setUpTag(CLI::App& command, bool) {
    struct Given {
        std::vector<std::string> paths;
        std::array<std::string, tagedit::kTextCount> texts;
        std::array<CLI::Option*, tagedit::kTextCount> options{};
    };
    // Kept alive by the function returned, which runs after the parse has filled it.
    const auto given = std::make_shared<Given>();
    command.add_option("FILE", given->paths, "VQF files")->required();
    // In the order the editor shows them.
    for (const tagedit::EditorField& field : tagedit::kEditorFields) {
        const std::size_t i = *tagedit::textIndex(field.chunkId);
        const std::string name(kUserTextChunks[i].name);
        given->options[i] = command.add_option(
            "--" + name, given->texts[i],
            "New " + name + " (\"" + std::string(field.chunkId) + "\"), in UTF-8; \"\" removes it");
    }
    command.footer(
        "Texts not given stay as they are, byte for byte. Each file is rewritten beside\n"
        "itself and renamed into place; a link is followed. Shown texts escape control\n"
        "characters (\\n, \\t, \\xNN) and backslashes.");
    return [given] {
        TagRequest request;
        request.paths = given->paths;
        for (std::size_t i = 0; i < tagedit::kTextCount; ++i) {
            if (given->options[i]->count() == 0)
                continue;
            const text::StrictCp932 converted = text::utf8ToCp932Strict(given->texts[i]);
            if (converted.refusal && converted.refusal->malformed) {
                std::cerr << "tembrel-cli: --" << kUserTextChunks[i].name << " is not UTF-8\n";
                return kUsageError;
            }
            request.edits[i] = given->texts[i];
        }
        installHandlers();
        const int status = runTag(request, std::cout, std::cerr, &interrupted);
        return interrupted ? kInterrupted : status;
    };
}

}  // namespace tembrel::cli
