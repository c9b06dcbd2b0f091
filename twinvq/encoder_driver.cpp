#include "twinvq/encoder_driver.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "driver/job_progress.h"
#include "platform/byte_order.h"
#include "platform/path_names.h"
#include "platform/text_encoding.h"
#include "platform/text_field.h"
#include "sources/conversion_plan.h"
#include "tags/song_tags.h"
#include "tvq/tvqenc.h"
#include "twinvq/bit_file.h"
#include "twinvq/frame_writer.h"
#include "twinvq/sample_feed.h"
#include "vqfheader/header_writer.h"

namespace tembrel {

EncoderDriver& encoderDriver() {
    static EncoderDriver instance;
    return instance;
}

void EncoderDriver::copyBitRates(std::span<const int32_t, 6> rates) {
    for (int i = 0; i < 6; ++i)
        rateTable_[i / 3][i % 3] = rates[i];
}

int32_t EncoderDriver::lookupBitRate(int32_t kHz, int32_t channelMode) const {
    int32_t row = channelMode;
    int32_t factor = 1;
    if (channelMode >= 2) {
        row = 0;
        factor = channelMode;
    }
    // A negative mode has no table row; it is refused before the library is asked.
    if (row < 0)
        return 0;
    switch (kHz) {
        case 8:
            return 8 * factor * (row + 1);
        case 16:
            return 16 * factor * (row + 1);
        case 11:
            return factor * rateTable_[row][0];
        case 22:
            return factor * rateTable_[row][1];
        case 44:
            return factor * rateTable_[row][2];
        default:
            return 0;
    }
}

void pcmToChannelMajor(std::span<const uint8_t> pcm, int bitsPerSample, int channels, int frameSize,
                       std::span<float> out) {
    const std::size_t bytesPerSample = std::size_t(bitsPerSample / 8);
    const std::size_t group = bytesPerSample * std::size_t(channels);
    std::size_t n = group == 0 ? 0 : pcm.size() / group;
    if (n > std::size_t(frameSize))
        n = std::size_t(frameSize);
    for (int c = 0; c < channels; ++c) {
        float* channel = out.data() + std::size_t(c) * std::size_t(frameSize);
        for (std::size_t j = 0; j < n; ++j) {
            const std::size_t at = (j * std::size_t(channels) + std::size_t(c)) * bytesPerSample;
            if (bytesPerSample == 1) {
                channel[j] = float((int(pcm[at]) - 128) * 256);
            } else {
                channel[j] = float(bytes::readSampleLE16(pcm.subspan(at, 2)));
            }
        }
        for (std::size_t j = n; j < std::size_t(frameSize); ++j)
            channel[j] = 0.0f;
    }
}

int EncoderDriver::fail(std::string reason) {
    failure_ = std::move(reason);
    return 0;
}

void EncoderDriver::fillHeaderInfo(const std::string& sourcePath, uint16_t channels,
                                   uint32_t rate) {
    SongTags tags{};
    tags.read(sourcePath);

    // Every text is set again for each file; extra and the word after id stay empty.
    header_.dataSize = 0;
    header_.securityLevel = 0;
    header_.channelMode = int32_t(channels) - 1;
    header_.samplingRate = int32_t(rate / 1000);
    header_.bitRate = lookupBitRate(header_.samplingRate, header_.channelMode);
    storeField(header_.name, fieldText(tags.title));
    storeField(header_.comment, fieldText(tags.comment));
    storeField(header_.author, fieldText(tags.artist));
    storeField(header_.copyright, fieldText(tags.copyright));
    storeField(header_.file, fieldText(tags.fileName));
    storeField(header_.year, fieldText(tags.year));
    storeField(header_.track, tags.track != 0 ? std::to_string(tags.track) : std::string());
    if (nameFromFileName_ || header_.name[0] == '\0') {
        // File names are UTF-8 here, header texts CP932; a long name is cut between
        // characters.
        const std::string name = text::utf8ToCp932(stemOf(sourcePath));
        storeField(header_.name, name.substr(0, text::cp932FitLength(name, kTvqTextSize - 1)));
    }
    std::memset(header_.id, 0, sizeof header_.id);
    TvqGetVersionID(0, header_.id);
}

std::string EncoderDriver::shortfall(uint64_t delivered, const WAVEFORMATEX& format) const {
    const std::optional<AudioSource::AnnouncedLength> announced =
        selector_->source->announcedLength();
    if (!announced || delivered + announced->tolerance >= announced->bytes ||
        format.nAvgBytesPerSec == 0)
        return {};
    const double perSecond = format.nAvgBytesPerSec;
    char text[96];
    std::snprintf(text, sizeof text, "cut short: %.3f s of %.3f s", double(delivered) / perSecond,
                  double(announced->bytes) / perSecond);
    return text;
}

int EncoderDriver::encodeFile(const std::string& sourcePath, const std::string& outputPath) {
    JobProgress& progress = jobProgress();
    failure_.clear();
    warning_.clear();
    output_.abandon();

    // 1. The source, opened by its contents. Only regular files: opening a FIFO or a
    // device could block or never end.
    struct stat st {};
    if (stat(sourcePath.c_str(), &st) != 0) {
        return fail(std::strerror(errno));
    }
    if (!S_ISREG(st.st_mode)) {
        return fail("not a regular file");
    }
    selector_ = std::make_unique<SourceSelector>();
    if (!selector_->open(sourcePath.c_str(), false)) {
        const std::string why = selector_->whyNotOpened();
        selector_.reset();
        return fail(why);
    }
    const WAVEFORMATEX format = *selector_->format;

    // 2. 8- and 16-bit PCM at a rate with a bit rate is framed as it is; anything else
    // the library can take (one or two channels) only with other formats switched on.
    // From the source's own record: an extensible one goes on past the copy above.
    const ConversionPlan plan =
        planConversion(*selector_->format, selector_->source->decodesToFloat());
    if (!plan.refusal.empty()) {
        selector_.reset();
        return fail(plan.refusal);
    }
    if (plan.needsSwitch() && !convertOtherFormats_) {
        selector_.reset();
        return fail(needsSwitchReason(plan));
    }

    // 3. The setup record.
    fillHeaderInfo(sourcePath, format.nChannels, plan.encodedRate);

    // 5. The library.
    if (TvqEncInitialize(&header_, &options_, &index_, 0) != 0) {
        selector_.reset();
        const std::string what =
            std::to_string(plan.encodedRate) + " Hz " + (format.nChannels == 1 ? "mono" : "stereo");
        if (header_.bitRate == 0)
            return fail("VQF has no bit rate for " + what +
                        " (it takes 8000, 11025, 16000, 22050 or 44100 Hz)");
        return fail("the encoder does not support " + what + " at " +
                    std::to_string(header_.bitRate) + " kbit/s");
    }
    TvqEncGetConfInfo(&conf_);
    TvqEncGetVectorInfo(vectors_.shape0Bits, vectors_.shape1Bits);

    // The output goes into a temporary file beside it, which the caller puts in place;
    // any way out before that removes it (after the session has closed it).
    SafeReplace output = SafeReplace::create(outputPath);

    // From here on every way out closes the output, terminates the library once and
    // releases the buffers and the source.
    struct Session {
        EncoderDriver& driver;
        BitFile* output = nullptr;
        ~Session() {
            if (output != nullptr)
                BitFile::close(output);
            TvqEncTerminate(&driver.index_);
            driver.samples_.clear();
            driver.samples_.shrink_to_fit();
            driver.selector_.reset();
        }
        // Closes the output now; false when anything written to it was lost.
        bool closeOutput() {
            BitFile* file = output;
            output = nullptr;
            const bool lost = file->writeFailed();
            return BitFile::close(file) == 0 && !lost;
        }
    } session{*this};

    // 6. The output and its header.
    if (!output.ok())
        return fail("cannot create a file beside " + outputPath + ": " +
                    std::strerror(output.error()));
    session.output = BitFile::open(output.path().c_str(), "wb");
    if (session.output == nullptr) {
        return fail("cannot write " + outputPath + ": " + std::strerror(errno));
    }
    const int frameSize = TvqEncGetFrameSize();
    const int channels = TvqEncGetNumChannels();
    if (frameSize <= 0 || channels != format.nChannels) {
        return fail("the encoder reports an unusable frame layout");
    }
    samples_.assign(std::size_t(channels) * std::size_t(frameSize), 0.0f);
    SampleFeed feed(*selector_, plan, frameSize);
    if (!feed.ok())
        return fail("cannot resample " + std::to_string(format.nSamplesPerSec) + " Hz to " +
                    std::to_string(plan.encodedRate) + " Hz");

    FrameWriter writer(conf_, vectors_);
    {
        auto header = BuildHeader(header_, kImportFolder);
        if (!header)
            return fail("cannot build the VQF header");
        if (FrameWriter::writeHeaderChunk(session.output, *header) != 0) {
            return fail("the VQF header is too large");
        }
    }

    // 7. Frames: the full ones, one with the rest padded with zeros, two of silence.
    const int64_t total = int64_t(feed.totalFrames());
    const int64_t full = total / frameSize;
    const int64_t rest = total % frameSize;
    progress.framesTotal = int32_t(full + 2);
    progress.framesDone = 0;
    for (int64_t i = 0; i < full + 3; ++i) {
        if (progress.cancelRequested)
            break;
        const int64_t count = i < full ? frameSize : i == full ? rest : 0;
        if (!feed.next(std::size_t(count), samples_)) {
            return fail("read error in " + sourcePath);
        }
        TvqEncodeFrame(samples_.data(), &index_);
        writer.writeFrame(index_, session.output);
        if (session.output->writeFailed()) {
            return fail("cannot write " + outputPath + ": " + std::strerror(errno));
        }
        progress.framesDone = int32_t(i + 1);
        if (frameObserver_)
            frameObserver_(progress.framesDone);
    }

    // 8. Completed or cancelled.
    if (!progress.cancelRequested)
        warning_ = shortfall(feed.sourceBytes(), format);
    if (!session.closeOutput()) {
        return fail("cannot write " + outputPath + ": " + std::strerror(errno));
    }
    output_ = std::move(output);
    return progress.cancelRequested ? 1 : 0;
}

}  // namespace tembrel
