// The audio compression manager calls the MP3 source makes, with their records and
// result codes, over libmpg123. One conversion stream turns MPEG audio (Layers I, II
// and III of MPEG-1, MPEG-2 and MPEG-2.5) into 16-bit PCM at the stream's rate and
// channel count, keeping its decoding state from one conversion to the next.
//
// The stream may be handed its input from anywhere inside a frame: everything before
// the first frame header at the stream's sampling rate that the next few headers
// confirm, each where the frame before it ends, is passed over, so neither a partial
// frame nor a header-like pattern in audio data reaches the decoder. When that passed-over part is the rest
// of an information frame (Xing/Info or VBRI), the decoder's delay of 529 sample frames
// is trimmed from the start of the output; when it also carries a LAME tag, the encoder
// delay and padding it states are trimmed too, so that the output starts and ends where
// the encoded audio did.
#pragma once

#include <cstdint>

#include "platform/wave_format.h"

namespace tembrel {

using MMRESULT = uint32_t;

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT ACMERR_NOTPOSSIBLE = 512;
inline constexpr MMRESULT ACMERR_BUSY = 513;
inline constexpr MMRESULT ACMERR_UNPREPARED = 514;

inline constexpr uint32_t ACM_FORMATSUGGESTF_WFORMATTAG = 0x00010000;
inline constexpr uint32_t ACM_STREAMOPENF_NONREALTIME = 0x00000004;
inline constexpr uint32_t ACM_STREAMSIZEF_SOURCE = 0x00000000;
inline constexpr uint32_t ACM_STREAMSIZEF_DESTINATION = 0x00000001;
// The input ends with this conversion: the stream hands out what it still holds.
// Called with no input, it empties the stream a destination buffer at a time.
inline constexpr uint32_t ACM_STREAMCONVERTF_END = 0x00000020;

inline constexpr uint32_t ACMSTREAMHEADER_STATUSF_DONE = 0x00010000;
inline constexpr uint32_t ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;

// cbStruct as callers set it: the size of the record in its 32-bit layout.
inline constexpr uint32_t ACMSTREAMHEADER_SIZE = 84;

struct ACMSTREAMHEADER {
    uint32_t cbStruct = 0;
    uint32_t fdwStatus = 0;
    uintptr_t dwUser = 0;
    uint8_t* pbSrc = nullptr;
    uint32_t cbSrcLength = 0;
    uint32_t cbSrcLengthUsed = 0;
    uintptr_t dwSrcUser = 0;
    uint8_t* pbDst = nullptr;
    uint32_t cbDstLength = 0;
    uint32_t cbDstLengthUsed = 0;
    uintptr_t dwDstUser = 0;
    uint32_t dwReservedDriver[10] = {};
};

struct AcmDriver;  // there are no drivers to choose from; always null
using HACMDRIVER = AcmDriver*;
class AcmStream;
using HACMSTREAM = AcmStream*;

// With ACM_FORMATSUGGESTF_WFORMATTAG and dst->wFormatTag 1, fills *dst with the PCM
// format an MPEG Layer-3 format (pwfxSrc points at an MPEGLAYER3WAVEFORMAT) converts
// to: 16-bit at the stream's rate and channel count. cbwfxDst must be at least 18.
MMRESULT acmFormatSuggest(HACMDRIVER had, const WAVEFORMATEX* pwfxSrc, WAVEFORMATEX* pwfxDst,
                          uint32_t cbwfxDst, uint32_t fdwSuggest);

// Opens a conversion from the MPEG format to the PCM format acmFormatSuggest gives.
// The stream belongs to the caller until acmStreamClose.
MMRESULT acmStreamOpen(HACMSTREAM* phas, HACMDRIVER had, const WAVEFORMATEX* pwfxSrc,
                       const WAVEFORMATEX* pwfxDst, void* pwfltr, uintptr_t dwCallback,
                       uintptr_t dwInstance, uint32_t fdwOpen);

// Output bytes to expect for cbInput input bytes (ACM_STREAMSIZEF_SOURCE), or input
// bytes for as much output (ACM_STREAMSIZEF_DESTINATION), from the formats' byte rates.
MMRESULT acmStreamSize(HACMSTREAM has, uint32_t cbInput, uint32_t* pdwOutputBytes,
                       uint32_t fdwSize);

MMRESULT acmStreamPrepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwPrepare);

// Takes all cbSrcLength input bytes and writes at most cbDstLength PCM bytes; decoded
// audio that does not fit stays in the stream and comes first in the next conversion.
// Damaged frames are passed over and decoding resumes at the next frame; only an error
// the decoder cannot recover from fails the conversion.
MMRESULT acmStreamConvert(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwConvert);

MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwUnprepare);

// Drops everything the stream holds; the next conversion starts a new stream.
MMRESULT acmStreamReset(HACMSTREAM has, uint32_t fdwReset);

MMRESULT acmStreamClose(HACMSTREAM has, uint32_t fdwClose);

}  // namespace tembrel
