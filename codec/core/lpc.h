// Linear prediction of a spectral envelope and its line spectral pair representation.
#pragma once

#include <vector>

namespace tembrel::tvq {

inline constexpr int kMaxLpcOrder = 20;

// Predictor of order `order` (a[0] = 1) fitted to the power spectrum `power` of `bins` MDCT
// bins, through its autocorrelation with a lag window and a little added white noise.
void lpcFromPower(const float* power, int bins, int order, std::vector<double>& a);

// Line spectral frequencies (ascending, in (0, pi)) of a minimum-phase predictor. False when
// the roots could not all be found (the caller then keeps a safe set).
bool lpcToLsp(const std::vector<double>& a, std::vector<double>& lsp);
void lspToLpc(const std::vector<double>& lsp, std::vector<double>& a);

// Evenly spaced frequencies: the LSPs of a flat spectrum.
void flatLsp(int order, std::vector<double>& lsp);

// Orders the frequencies and keeps them apart and inside (0, pi), so that the predictor they
// describe is stable and its envelope bounded, whatever values came in.
void stabiliseLsp(std::vector<double>& lsp);

// Amplitude envelope 1/|A| at the centres of `bins` MDCT bins, scaled to unit mean power over
// the first `normBins` bins.
void lpcEnvelope(const std::vector<double>& a, int bins, int normBins, std::vector<float>& env);
// The same envelope straight from the line spectral frequencies (those of lspToLpc), in
// fewer operations, for the first `count` bins only (the others are not computed).
void lspEnvelope(const std::vector<double>& lsp, int bins, int count, int normBins,
                 std::vector<float>& env);

}  // namespace tembrel::tvq
