// Access to the generated shape codebooks (codec/tables/shape_codebooks.cpp) and pitch
// codebooks (codec/tables/pitch_codebooks.cpp).
#pragma once

namespace tembrel::tvq {

// Codebooks exist for every vector length in [kMinCodebookDim, kMaxCodebookDim] and width in
// [kMinCodebookBits, kMaxCodebookBits]; a vector one shorter than its codebook uses the
// leading components.
inline constexpr int kMinCodebookDim = 6;
inline constexpr int kMaxCodebookDim = 24;
inline constexpr int kMinCodebookBits = 7;
inline constexpr int kMaxCodebookBits = 8;
// Width of most shape fields; a few fields of a frame are one bit wider.
inline constexpr int kShapeBaseBits = 7;

// Codebook `which` (0 or 1 of the conjugate pair) with 2^bits vectors of `dim` floats each
// (bits and dim clamped to the ranges above). A shape vector is the sum of one vector from
// each codebook.
const float* shapeCodebook(int which, int bits, int dim);

// The conjugate pair that codes the amplitudes of harmonic peaks: 2^kPitchCodebookBits vectors
// of kPitchCodebookDim floats each, stored vector after vector.
inline constexpr int kPitchCodebookBits = 5;
inline constexpr int kPitchCodebookDim = 8;
const float* pitchCodebook(int which);

}  // namespace tembrel::tvq
