// How a subcommand joins tembrel-cli: one row of the table in main.cpp, naming it, its
// help line and the function that sets it up.
#pragma once

#include <functional>

namespace CLI {
class App;
}

namespace tembrel::cli {

// Runs a parsed subcommand; its exit status.
using CommandRun = std::function<int()>;
// Adds the subcommand's options to `command` and returns what runs it once parsed.
// `shortForm` is set when the command line named no subcommand and encode stands in.
using CommandSetUp = CommandRun (*)(CLI::App& command, bool shortForm);

struct Subcommand {
    const char* name;
    const char* help;
    CommandSetUp setUp;
};

}  // namespace tembrel::cli
