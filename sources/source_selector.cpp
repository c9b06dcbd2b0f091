#include "sources/source_selector.h"

#include <new>
#include <string>

#include "sources/source_kinds.h"

namespace tembrel {

bool SourceSelector::open(const char* path, bool appendExtension) {
    close();
    if (!path)
        return false;
    for (const SourceKind& kind : sourceKinds()) {
        // Every attempt starts again from the caller's path.
        std::string working = path;
        if (appendExtension)
            working += kind.extension;
        if (working.size() > kMaxPath)
            continue;

        std::unique_ptr<AudioSource> candidate = kind.create();
        if (!candidate)
            continue;
        if (!candidate->open(working.c_str())) {
            if (refusal.empty())
                refusal = candidate->refusal();
            continue;
        }
        source = std::move(candidate);
        refusal.clear();
        format = source->format();
        length = source->length();
        kindName = kind.name;
        return true;
    }
    return false;
}

bool SourceSelector::read(std::span<uint8_t> buffer, uint32_t& bytesRead) {
    bytesRead = 0;
    if (!source)
        return false;
    return source->read(buffer, bytesRead);
}

bool SourceSelector::close() {
    if (source) {
        source->close();
        source.reset();
    }
    kindName = {};
    refusal.clear();
    return true;
}

}  // namespace tembrel
