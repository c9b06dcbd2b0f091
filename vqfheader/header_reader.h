// Turns a parsed VQF header back into the setup record the decoder library needs.
#pragma once

#include "tvq/tvq_records.h"
#include "vqfheader/header_manager.h"

namespace tembrel {

// Zeroes `info`, copies the header's id and the four "COMM" values. Returns 0, or 1
// when there is no "COMM" chunk or it is shorter than 16 bytes (the values stay 0).
int ReadHeaderInfo(const CHeaderManager& manager, HeaderInfo& info);

}  // namespace tembrel
