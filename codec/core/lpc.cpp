#include "codec/core/lpc.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "codec/core/simd_kernel.h"

namespace tembrel::tvq {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMinLspGap = 0.012;
constexpr double kLspEdge = 0.006;

constexpr int kRootGrid = 1024;

// Cosines and sines of the MDCT bin centres pi (k + 0.5) / bins, of their multiples and of the
// root search grid, computed once per size: the per-frame loops then need no libm calls.
struct BinAngles {
    std::vector<double> cos, sin;
};

const BinAngles& binAngles(int bins) {
    static std::mutex lock;
    static std::map<int, std::unique_ptr<BinAngles>> cache;
    std::lock_guard<std::mutex> guard(lock);
    std::unique_ptr<BinAngles>& entry = cache[bins];
    if (!entry) {
        entry = std::make_unique<BinAngles>();
        entry->cos.resize(bins);
        entry->sin.resize(bins);
        for (int k = 0; k < bins; ++k) {
            const double w = kPi * (k + 0.5) / bins;
            entry->cos[k] = std::cos(w);
            entry->sin[k] = std::sin(w);
        }
    }
    return *entry;
}

// Rows of the lag table, padded to whole vectors of four doubles (zeros past the order).
int lagStride(int order) {
    return (order + 1 + 3) / 4 * 4;
}

// cos(t w_k) for the bin centres w_k and lags t = 0..order, row by row per bin.
const std::vector<double>& lagCosines(int bins, int order) {
    static std::mutex lock;
    static std::map<std::pair<int, int>, std::unique_ptr<std::vector<double>>> cache;
    std::lock_guard<std::mutex> guard(lock);
    std::unique_ptr<std::vector<double>>& entry = cache[{bins, order}];
    if (!entry) {
        const int stride = lagStride(order);
        entry = std::make_unique<std::vector<double>>(static_cast<size_t>(bins) * stride, 0.0);
        for (int k = 0; k < bins; ++k) {
            const double w = kPi * (k + 0.5) / bins;
            for (int t = 0; t <= order; ++t) {
                (*entry)[static_cast<size_t>(k) * stride + t] = std::cos(w * t);
            }
        }
    }
    return *entry;
}

// Four doubles: one AVX register, or two SSE ones.
using Doubles = lanes::Doubles4;
using LooseDoubles = lanes::LooseDoubles4;
constexpr int kDoubleLanes = 4;
// Points of each polynomial evaluated together: two vectors; with both polynomials, four
// recurrences interleave (one alone would wait on its own additions).
constexpr int kPointBatch = 2 * kDoubleLanes;
// The grid rounded up to whole batches; the points past pi are computed and ignored.
constexpr int kGridPoints = (kRootGrid + kPointBatch) / kPointBatch * kPointBatch;

const std::array<double, kGridPoints>& gridCosines() {
    static const std::array<double, kGridPoints> table = [] {
        std::array<double, kGridPoints> t{};
        for (int g = 0; g < kGridPoints; ++g) {
            t[g] = std::cos(kPi * g / kRootGrid);
        }
        return t;
    }();
    return table;
}

// c_half + 2 * sum_{i<half} c_i cos((half - i) w) of a symmetric polynomial of even degree, at
// x = cos w: a Chebyshev series, summed with Clenshaw's recurrence. Four vectors of points at
// once, the first two for the polynomial p, the others for q (both with `half` terms).
[[gnu::always_inline]] inline void seriesValues(const double* p, const double* q, int half,
                                                const Doubles (&x)[4], Doubles (&value)[4]) {
    Doubles b1[4] = {}, b2[4] = {};
    for (int i = 0; i < half; ++i) {  // terms T_half .. T_1
        const double twoP = 2.0 * p[i], twoQ = 2.0 * q[i];
        for (int r = 0; r < 4; ++r) {
            const Doubles b0 = (r < 2 ? twoP : twoQ) + 2.0 * x[r] * b1[r] - b2[r];
            b2[r] = b1[r];
            b1[r] = b0;
        }
    }
    for (int r = 0; r < 4; ++r) {
        value[r] = (r < 2 ? p[half] : q[half]) + x[r] * b1[r] - b2[r];
    }
}

// The series of p at the points xp and of q at the points xq (`count` of each, a multiple of
// kPointBatch).
TVQ_SIMD_KERNEL void pointValues(const double* p, const double* q, int half, const double* xp,
                                 const double* xq, int count, double* valueP, double* valueQ) {
    for (int at = 0; at < count; at += kPointBatch) {
        Doubles x[4], value[4];
        x[0] = *reinterpret_cast<const LooseDoubles*>(xp + at);
        x[1] = *reinterpret_cast<const LooseDoubles*>(xp + at + kDoubleLanes);
        x[2] = *reinterpret_cast<const LooseDoubles*>(xq + at);
        x[3] = *reinterpret_cast<const LooseDoubles*>(xq + at + kDoubleLanes);
        seriesValues(p, q, half, x, value);
        *reinterpret_cast<LooseDoubles*>(valueP + at) = value[0];
        *reinterpret_cast<LooseDoubles*>(valueP + at + kDoubleLanes) = value[1];
        *reinterpret_cast<LooseDoubles*>(valueQ + at) = value[2];
        *reinterpret_cast<LooseDoubles*>(valueQ + at + kDoubleLanes) = value[3];
    }
}

// Bisection of 2 * kPointBatch brackets in step (the first kPointBatch of p, the others of
// q): lo/hi are the bracket ends in x = cos w, vlo the value at lo.
TVQ_SIMD_KERNEL void bisectBrackets(const double* p, const double* q, int half, double* lo,
                                    double* hi, double* vlo) {
    Doubles l[4], h[4], v[4];
    for (int r = 0; r < 4; ++r) {
        l[r] = *reinterpret_cast<const LooseDoubles*>(lo + r * kDoubleLanes);
        h[r] = *reinterpret_cast<const LooseDoubles*>(hi + r * kDoubleLanes);
        v[r] = *reinterpret_cast<const LooseDoubles*>(vlo + r * kDoubleLanes);
    }
    const Doubles zero{};
    for (int it = 0; it < 30; ++it) {
        Doubles mid[4], vm[4];
        for (int r = 0; r < 4; ++r) {
            mid[r] = 0.5 * (l[r] + h[r]);
        }
        seriesValues(p, q, half, mid, vm);
        for (int r = 0; r < 4; ++r) {
            const auto sameSide = (vm[r] <= zero) == (v[r] <= zero);
            l[r] = sameSide ? mid[r] : l[r];
            v[r] = sameSide ? vm[r] : v[r];
            h[r] = sameSide ? h[r] : mid[r];
        }
    }
    for (int r = 0; r < 4; ++r) {
        *reinterpret_cast<LooseDoubles*>(lo + r * kDoubleLanes) = l[r];
        *reinterpret_cast<LooseDoubles*>(hi + r * kDoubleLanes) = h[r];
    }
}

// Every kCoarseStep-th point of the root grid, padded to whole batches.
constexpr int kCoarseStep = 8;
constexpr int kCoarsePoints = kRootGrid / kCoarseStep + 1;
constexpr int kCoarsePadded = (kCoarsePoints + kPointBatch - 1) / kPointBatch * kPointBatch;

const std::array<double, kCoarsePadded>& coarseCosines() {
    static const std::array<double, kCoarsePadded> table = [] {
        const std::array<double, kGridPoints>& grid = gridCosines();
        std::array<double, kCoarsePadded> t{};
        for (int c = 0; c < kCoarsePadded; ++c) {
            t[c] = grid[std::min(c * kCoarseStep, kGridPoints - 1)];
        }
        return t;
    }();
    return table;
}

// The sign changes of both series on the grid (the grid points ending a bracket, ascending)
// with the values there. A series of `half` terms has at most `half` roots, so when the
// coarse grid already shows that many sign changes, every root lies alone in one coarse step
// and the grid points outside those steps keep their sign: only the points inside them are
// evaluated. The signs, and so the brackets, are those of the full grid, point for point
// (each point's value does not depend on which other points it is evaluated with).
void gridSignChanges(const std::vector<double>& p, const std::vector<double>& q,
                     std::vector<int> (&changes)[2], std::array<double, kGridPoints> (&value)[2]) {
    const std::array<double, kGridPoints>& grid = gridCosines();
    const int half = static_cast<int>(p.size()) / 2;
    const std::array<double, kCoarsePadded>& coarse = coarseCosines();
    double coarseValue[2][kCoarsePadded];
    pointValues(p.data(), q.data(), half, coarse.data(), coarse.data(), kCoarsePadded,
                coarseValue[0], coarseValue[1]);
    int steps[2][kMaxLpcOrder];  // coarse steps holding a sign change
    int stepCount[2] = {0, 0};
    bool alone = true;
    for (int which = 0; which < 2 && alone; ++which) {
        for (int c = 1; c < kCoarsePoints; ++c) {
            if ((coarseValue[which][c - 1] <= 0.0) != (coarseValue[which][c] <= 0.0)) {
                if (stepCount[which] == half) {
                    alone = false;  // (cannot be: more changes than roots)
                    break;
                }
                steps[which][stepCount[which]++] = c;
            }
        }
        alone = alone && stepCount[which] == half;
    }
    if (!alone) {
        pointValues(p.data(), q.data(), half, grid.data(), grid.data(), kGridPoints,
                    value[0].data(), value[1].data());
        for (int which = 0; which < 2; ++which) {
            for (int g = 1; g <= kRootGrid; ++g) {
                if ((value[which][g - 1] <= 0.0) != (value[which][g] <= 0.0)) {
                    changes[which].push_back(g);
                }
            }
        }
        return;
    }
    // The points inside the coarse steps, for both series side by side.
    constexpr int kInside = kCoarseStep - 1;
    constexpr int kMostInside =
        (kMaxLpcOrder / 2 * kInside + kPointBatch - 1) / kPointBatch * kPointBatch;
    double x[2][kMostInside] = {}, inside[2][kMostInside];
    for (int which = 0; which < 2; ++which) {
        for (int s = 0; s < half; ++s) {
            const int start = (steps[which][s] - 1) * kCoarseStep;
            for (int i = 0; i < kInside; ++i) {
                x[which][s * kInside + i] = grid[start + 1 + i];
            }
        }
    }
    const int count = (half * kInside + kPointBatch - 1) / kPointBatch * kPointBatch;
    pointValues(p.data(), q.data(), half, x[0], x[1], count, inside[0], inside[1]);
    for (int which = 0; which < 2; ++which) {
        for (int s = 0; s < half; ++s) {
            const int c = steps[which][s];
            const int start = (c - 1) * kCoarseStep;
            value[which][start] = coarseValue[which][c - 1];
            for (int i = 0; i < kInside; ++i) {
                value[which][start + 1 + i] = inside[which][s * kInside + i];
            }
            value[which][start + kCoarseStep] = coarseValue[which][c];
            for (int g = start + 1; g <= start + kCoarseStep; ++g) {
                if ((value[which][g - 1] <= 0.0) != (value[which][g] <= 0.0)) {
                    changes[which].push_back(g);
                }
            }
        }
    }
}

// The roots of both symmetric polynomials (coefficient lists of equal length): sign changes
// on a grid uniform in w, refined by bisection in x = cos w (monotonic on (0, pi)), so that
// only the root itself needs an arc cosine.
void findRoots(const std::vector<double>& p, const std::vector<double>& q,
               std::vector<double>& roots) {
    const std::array<double, kGridPoints>& grid = gridCosines();
    const int half = static_cast<int>(p.size()) / 2;
    std::array<double, kGridPoints> value[2];
    std::vector<int> changes[2];  // grid points ending a bracket
    gridSignChanges(p, q, changes, value);
    const int most = static_cast<int>(std::max(changes[0].size(), changes[1].size()));
    for (int first = 0; first < most; first += kPointBatch) {
        double lo[2 * kPointBatch] = {}, hi[2 * kPointBatch] = {}, vlo[2 * kPointBatch] = {};
        for (int which = 0; which < 2; ++which) {
            for (int r = 0; r < kPointBatch && first + r < static_cast<int>(changes[which].size());
                 ++r) {
                const int g = changes[which][first + r];
                lo[which * kPointBatch + r] = grid[g - 1];
                hi[which * kPointBatch + r] = grid[g];
                vlo[which * kPointBatch + r] = value[which][g - 1];
            }
        }
        bisectBrackets(p.data(), q.data(), half, lo, hi, vlo);
        for (int which = 0; which < 2; ++which) {
            for (int r = 0; r < kPointBatch && first + r < static_cast<int>(changes[which].size());
                 ++r) {
                const int at = which * kPointBatch + r;
                roots.push_back(std::acos(std::clamp(0.5 * (lo[at] + hi[at]), -1.0, 1.0)));
            }
        }
    }
}

// 1/|A|^2 at every bin from the LSPs' 2 cos l (P's at even, Q's at odd positions): the
// products over P's and Q's factors, four bins at a time.
TVQ_SIMD_KERNEL void envelopePower(const double* cosine, int bins, const double* twoCos, int p,
                                   double* power) {
    int k = 0;
    for (; k + kDoubleLanes <= bins; k += kDoubleLanes) {
        const Doubles cw = *reinterpret_cast<const LooseDoubles*>(cosine + k);
        Doubles pp = 2.0 * (1.0 + cw);
        Doubles qq = 2.0 * (1.0 - cw);
        const Doubles c2 = 2.0 * cw;
        for (int i = 0; i < p; i += 2) {
            pp *= (c2 - twoCos[i]) * (c2 - twoCos[i]);
            qq *= (c2 - twoCos[i + 1]) * (c2 - twoCos[i + 1]);
        }
        const Doubles a2 = 0.25 * (pp + qq);
        const Doubles floor = Doubles{} + 1e-12;
        const Doubles result = 1.0 / (a2 < floor ? floor : a2);
        *reinterpret_cast<LooseDoubles*>(power + k) = result;
    }
    for (; k < bins; ++k) {
        double pp = 2.0 * (1.0 + cosine[k]);
        double qq = 2.0 * (1.0 - cosine[k]);
        const double c2 = 2.0 * cosine[k];
        for (int i = 0; i < p; i += 2) {
            pp *= (c2 - twoCos[i]) * (c2 - twoCos[i]);
            qq *= (c2 - twoCos[i + 1]) * (c2 - twoCos[i + 1]);
        }
        power[k] = 1.0 / std::max(0.25 * (pp + qq), 1e-12);
    }
}

// The envelope's amplitudes from its powers and their normalisation.
TVQ_SIMD_KERNEL void amplitudes(const double* power, int bins, double norm, float* env) {
    for (int k = 0; k < bins; ++k) {
        env[k] = static_cast<float>(std::sqrt(power[k] * norm));
    }
}

// r_t = sum_k power_k cos(t w_k), accumulated in registers, `Vectors` x 4 lags at a time.
template <int Vectors>
[[gnu::always_inline]] inline void accumulateLags(const float* power, int bins, const double* table,
                                                  double* r) {
    Doubles sum[Vectors] = {};
    for (int k = 0; k < bins; ++k) {
        const double p = power[k];
        const double* row = table + static_cast<size_t>(k) * Vectors * kDoubleLanes;
        for (int v = 0; v < Vectors; ++v) {
            sum[v] += p * *reinterpret_cast<const LooseDoubles*>(row + v * kDoubleLanes);
        }
    }
    for (int v = 0; v < Vectors; ++v) {
        *reinterpret_cast<LooseDoubles*>(r + v * kDoubleLanes) = sum[v];
    }
}

// The autocorrelation for lag tables of up to six vectors a row; false for longer ones.
TVQ_SIMD_KERNEL bool autocorrelation(const float* power, int bins, const double* table, int stride,
                                     double* r) {
    switch (stride / kDoubleLanes) {
        case 1:
            accumulateLags<1>(power, bins, table, r);
            return true;
        case 2:
            accumulateLags<2>(power, bins, table, r);
            return true;
        case 3:
            accumulateLags<3>(power, bins, table, r);
            return true;
        case 4:
            accumulateLags<4>(power, bins, table, r);
            return true;
        case 5:
            accumulateLags<5>(power, bins, table, r);
            return true;
        case 6:
            accumulateLags<6>(power, bins, table, r);
            return true;
        default:
            return false;
    }
}

}  // namespace

void lpcFromPower(const float* power, int bins, int order, std::vector<double>& a) {
    const int stride = lagStride(order);
    std::vector<double> r(stride, 0.0);
    const std::vector<double>& table = lagCosines(bins, order);
    if (!autocorrelation(power, bins, table.data(), stride, r.data())) {
        for (int k = 0; k < bins; ++k) {
            const double p = power[k];
            const double* c = &table[static_cast<size_t>(k) * stride];
            for (int t = 0; t <= order; ++t) {
                r[t] += p * c[t];
            }
        }
    }
    r.resize(order + 1);
    a.assign(order + 1, 0.0);
    a[0] = 1.0;
    if (!(r[0] > 1e-9)) {
        return;
    }
    // A Gaussian lag window (smoothing over 0.4 % of the sampling rate) and a -40 dB noise
    // floor keep the fit well conditioned and its peaks moderate.
    r[0] *= 1.0001;
    for (int t = 1; t <= order; ++t) {
        const double x = 2.0 * kPi * 0.004 * t;
        r[t] *= std::exp(-0.5 * x * x);
    }
    double err = r[0];
    std::vector<double> tmp(order + 1);
    for (int i = 1; i <= order; ++i) {
        double acc = r[i];
        for (int j = 1; j < i; ++j) {
            acc += a[j] * r[i - j];
        }
        const double k = -acc / err;
        if (!(std::fabs(k) < 1.0)) {
            break;
        }
        tmp = a;
        for (int j = 1; j < i; ++j) {
            a[j] = tmp[j] + k * tmp[i - j];
        }
        a[i] = k;
        err *= 1.0 - k * k;
    }
}

bool lpcToLsp(const std::vector<double>& a, std::vector<double>& lsp) {
    const int p = static_cast<int>(a.size()) - 1;
    // P(z) = A(z) + z^-(p+1) A(1/z), Q(z) = A(z) - z^-(p+1) A(1/z); for even p the trivial
    // roots z = -1 of P and z = 1 of Q are divided out, leaving symmetric polynomials.
    std::vector<double> pc(p + 1), qc(p + 1);
    double prevP = 0.0, prevQ = 0.0;
    for (int i = 0; i <= p; ++i) {
        const double fwd = a[i];
        const double rev = (p + 1 - i <= p) ? a[p + 1 - i] : 0.0;
        pc[i] = fwd + rev - prevP;
        qc[i] = fwd - rev + prevQ;
        prevP = pc[i];
        prevQ = qc[i];
    }
    lsp.clear();
    findRoots(pc, qc, lsp);
    std::sort(lsp.begin(), lsp.end());
    return static_cast<int>(lsp.size()) == p;
}

void lspToLpc(const std::vector<double>& lsp, std::vector<double>& a) {
    const int p = static_cast<int>(lsp.size());
    std::vector<double> pc{1.0}, qc{1.0};
    for (int i = 0; i < p; ++i) {
        std::vector<double>& poly = i % 2 == 0 ? pc : qc;
        const double c = -2.0 * std::cos(lsp[i]);
        std::vector<double> next(poly.size() + 2, 0.0);
        for (size_t j = 0; j < poly.size(); ++j) {
            next[j] += poly[j];
            next[j + 1] += c * poly[j];
            next[j + 2] += poly[j];
        }
        poly = std::move(next);
    }
    // Multiply back the trivial roots: P *= (1 + 1/z), Q *= (1 - 1/z); A = (P + Q) / 2.
    a.assign(p + 1, 0.0);
    for (int i = 0; i <= p; ++i) {
        const double pv = pc[i] + (i > 0 ? pc[i - 1] : 0.0);
        const double qv = qc[i] - (i > 0 ? qc[i - 1] : 0.0);
        a[i] = 0.5 * (pv + qv);
    }
}

void flatLsp(int order, std::vector<double>& lsp) {
    lsp.resize(order);
    for (int i = 0; i < order; ++i) {
        lsp[i] = kPi * (i + 1) / (order + 1);
    }
}

void stabiliseLsp(std::vector<double>& lsp) {
    const int p = static_cast<int>(lsp.size());
    for (double& w : lsp) {
        if (!std::isfinite(w)) {
            w = 0.0;
        }
    }
    std::sort(lsp.begin(), lsp.end());
    double floor = kLspEdge;
    for (int i = 0; i < p; ++i) {
        lsp[i] = std::max(lsp[i], floor);
        floor = lsp[i] + kMinLspGap;
    }
    double ceiling = kPi - kLspEdge;
    for (int i = p - 1; i >= 0; --i) {
        lsp[i] = std::min(lsp[i], ceiling);
        ceiling = lsp[i] - kMinLspGap;
    }
}

void lpcEnvelope(const std::vector<double>& a, int bins, int normBins, std::vector<float>& env) {
    env.resize(bins);
    const int p = static_cast<int>(a.size()) - 1;
    // A(e^-jw) by Horner's rule in real arithmetic, all bins at once (the loop over bins
    // is innermost so that it vectorises).
    const BinAngles& angles = binAngles(bins);
    std::vector<double> re(bins, a[p]), im(bins, 0.0);
    for (int i = p - 1; i >= 0; --i) {
        const double ai = a[i];
        for (int k = 0; k < bins; ++k) {
            const double zr = angles.cos[k], zi = -angles.sin[k];
            const double nr = re[k] * zr - im[k] * zi + ai;
            im[k] = re[k] * zi + im[k] * zr;
            re[k] = nr;
        }
    }
    double sum = 0.0;
    for (int k = 0; k < bins; ++k) {
        const double mag2 = std::max(re[k] * re[k] + im[k] * im[k], 1e-12);
        env[k] = static_cast<float>(1.0 / std::sqrt(mag2));
        if (k < normBins) {
            sum += 1.0 / mag2;
        }
    }
    const double norm = normBins > 0 && sum > 0.0 ? std::sqrt(normBins / sum) : 1.0;
    for (float& e : env) {
        e = static_cast<float>(e * norm);
    }
}

void lspEnvelope(const std::vector<double>& lsp, int bins, int count, int normBins,
                 std::vector<float>& env) {
    const int p = static_cast<int>(lsp.size());
    if (p % 2 != 0) {
        std::vector<double> a;
        lspToLpc(lsp, a);
        lpcEnvelope(a, bins, normBins, env);
        env.resize(count);
        return;
    }
    // On the unit circle A = (P + Q) / 2 with P and Q in quadrature, so
    // |A|^2 = (|P|^2 + |Q|^2) / 4, and each factor 1 - 2 cos(l) z^-1 + z^-2 of P or Q has
    // magnitude |2 cos w - 2 cos l|; the trivial factors 1 +- z^-1 give 2 (1 +- cos w).
    // p multiplications per bin instead of a complex polynomial evaluation.
    const BinAngles& angles = binAngles(bins);
    // Work areas kept per thread: this runs for every channel of every frame on both sides.
    thread_local std::vector<double> twoCos, pp;
    twoCos.resize(p);
    for (int i = 0; i < p; ++i) {
        twoCos[i] = 2.0 * std::cos(lsp[i]);
    }
    // Each bin's value depends on that bin alone, so the bins past `count` are left out.
    const int computed = std::clamp(std::max(count, normBins), 0, bins);
    pp.resize(computed);
    envelopePower(angles.cos.data(), computed, twoCos.data(), p, pp.data());
    double sum = 0.0;
    for (int k = 0; k < std::min(normBins, computed); ++k) {
        sum += pp[k];
    }
    const double norm = normBins > 0 && sum > 0.0 ? normBins / sum : 1.0;
    env.resize(computed);
    amplitudes(pp.data(), computed, norm, env.data());
    env.resize(std::clamp(count, 0, bins));
}

}  // namespace tembrel::tvq
