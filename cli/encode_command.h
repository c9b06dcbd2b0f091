// `tembrel-cli encode`: one encoding job per path, with the settings taken from options.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/convert_job.h"
#include "driver/convert_settings.h"

namespace CLI {
class App;
}

namespace tembrel::cli {

struct EncodeRequest {
    ConvertSettings settings;
    int32_t typeMask = kDefaultTypes;
    bool quiet = false;
    // Short form: a path that is a single ".vqf" file is shown, not encoded.
    bool showVqfFiles = false;
    std::vector<std::string> paths;
};

// Exit status: 0 when every file converted cleanly, 1 when any failed or converted with a
// warning, 130 when cancelled.
int runEncode(const EncodeRequest& request);

// The --types option that encode and rename share, filling `types`; typeMaskOf turns
// what it took into typeMask bits.
void addTypesOption(CLI::App& command, std::vector<std::string>& types);
int32_t typeMaskOf(const std::vector<std::string>& types);

}  // namespace tembrel::cli
