// How a job drives the encoder of one file. The encoder driver implements it; tests of
// the job's own policy (counting, deleting, cancelling) implement it without a codec.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/safe_replace.h"

namespace tembrel {

class FileEncoder {
  public:
    virtual ~FileEncoder() = default;

    // The six selectable bit rates (mono 11, 22, 44 kHz, stereo 11, 22, 44 kHz), copied
    // at the start of each job so that the job works with the values then in force.
    virtual void copyBitRates(std::span<const int32_t, 6> rates) = 0;
    // When set, every header's song name is the source's file name, whatever the tags hold.
    virtual void setNameFromFileName(bool on) = 0;
    // When set, sources at other rates are resampled and other sample widths taken as
    // floats; when clear, such a file fails with a reason that names the switch.
    virtual void setConvertOtherFormats(bool on) = 0;
    // Converts one file into a temporary file beside outputPath; outputPath itself is
    // never touched. 1 when the run stopped because cancelRequested was set, else 0.
    virtual int encodeFile(const std::string& sourcePath, const std::string& outputPath) = 0;
    // Why the last encodeFile failed; empty after a completed or cancelled run.
    virtual const std::string& failureReason() const = 0;
    // What the last completed encodeFile found amiss in its source although it converted
    // what there was ("cut short: 0.006 s of 2.000 s"); empty when nothing was.
    virtual const std::string& warning() const = 0;
    // The output of the last encodeFile, not yet in place: complete after a completed run,
    // partial after a cancelled one, none (!ok()) after a failure. Whoever takes it
    // commits it over the output path or abandons it.
    virtual SafeReplace takeOutput() = 0;
};

}  // namespace tembrel
