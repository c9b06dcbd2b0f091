// VQF source: open a file of arbitrary bytes, read it to the end, rewind and skip; then
// describe its header as the info command does (chunk texts through the CP932
// conversion, frame count from the file size).
#include <array>
#include <sstream>

#include "decode/vqf_description.h"
#include "fuzz/fuzz_input_file.h"
#include "fuzz/fuzz_source.h"
#include "sources/vqf_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = tembrel::fuzz::writeInput(data, size, ".vqf");
    {
        tembrel::VqfSource source;
        if (source.open(path.c_str())) {
            tembrel::fuzz::exerciseSource(source, 300);
        }
        source.close();
    }
    if (const auto description = tembrel::describeVqf(path)) {
        if (description->frameCount < 0)
            __builtin_trap();
        std::ostringstream out;
        tembrel::printVqfDescription(*description, out);
    }
    return 0;
}
