#include "vqfheader/header_reader.h"

#include <algorithm>
#include <cstring>

#include "vqfheader/value_chunks.h"

namespace tembrel {

int ReadHeaderInfo(const CHeaderManager& manager, HeaderInfo& info) {
    std::memset(&info, 0, sizeof info);
    const std::string id = manager.GetId();
    std::memcpy(info.id, id.data(), std::min(id.size(), sizeof info.id - 1));
    try {
        const CCommChunk comm(manager.GetChunk("COMM"));
        info.channelMode = comm.channelMode;
        info.bitRate = comm.bitRate;
        info.samplingRate = comm.samplingRate;
        info.securityLevel = comm.securityLevel;
        return 0;
    } catch (const CHeaderManager::err_FailGetChunk&) {
        return 1;
    } catch (const CChunkChunk::err_FailGetChunk&) {
        // A "COMM" chunk too short for its four values counts as none.
        return 1;
    }
}

}  // namespace tembrel
