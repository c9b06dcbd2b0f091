// The envelope model's fast paths (tabled angles, Chebyshev recurrences, root search in
// cos w) checked against the plain formulas they replace.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "codec/core/lpc.h"

using namespace tembrel::tvq;

namespace {

constexpr double kPi = 3.14159265358979323846;

// LSPs with a few close pairs (sharp peaks) and the minimum-phase predictor they describe.
std::vector<double> peakyLsp(int order) {
    std::vector<double> lsp(order);
    for (int i = 0; i < order; ++i) {
        lsp[i] = kPi * (i + 1) / (order + 1) + ((i % 2) ? -0.04 : 0.04) * ((i % 3) ? 1.0 : 0.2);
    }
    lsp[5] = lsp[4] + 0.015;  // a sharp resonance
    stabiliseLsp(lsp);
    return lsp;
}

// The fit of a smooth two-peak power spectrum against Levinson's recursion on its directly
// computed autocorrelation.
void checkFit(int bins, int order) {
    std::vector<float> power(bins);
    for (int k = 0; k < bins; ++k) {
        power[k] = static_cast<float>(1.0 + 50.0 * std::exp(-0.5 * std::pow((k - 60) / 6.0, 2)) +
                                      10.0 * std::exp(-0.5 * std::pow((k - 300) / 20.0, 2)));
    }
    std::vector<double> r(order + 1, 0.0);
    for (int k = 0; k < bins; ++k) {
        for (int t = 0; t <= order; ++t) {
            r[t] += power[k] * std::cos(kPi * (k + 0.5) / bins * t);
        }
    }
    r[0] *= 1.0001;
    for (int t = 1; t <= order; ++t) {
        const double x = 2.0 * kPi * 0.004 * t;
        r[t] *= std::exp(-0.5 * x * x);
    }
    std::vector<double> expected(order + 1, 0.0);
    expected[0] = 1.0;
    double err = r[0];
    for (int i = 1; i <= order; ++i) {
        double acc = r[i];
        for (int j = 1; j < i; ++j) {
            acc += expected[j] * r[i - j];
        }
        const double k = -acc / err;
        const std::vector<double> prev = expected;
        for (int j = 1; j < i; ++j) {
            expected[j] = prev[j] + k * prev[i - j];
        }
        expected[i] = k;
        err *= 1.0 - k * k;
    }
    std::vector<double> a;
    lpcFromPower(power.data(), bins, order, a);
    ASSERT_EQ(a.size(), expected.size());
    for (int i = 0; i <= order; ++i) {
        EXPECT_NEAR(a[i], expected[i], 1e-9) << "coefficient " << i;
    }
}

}  // namespace

TEST(Lpc, EnvelopesMatchTheDirectPolynomial) {
    // (30 bins: a count that does not fill whole vectors of bins.)
    for (const int order : {12, 16, 20}) {
        for (const int bins : {30, 32, 128, 256, 512, 1024}) {
            const std::vector<double> lsp = peakyLsp(order);
            std::vector<double> a;
            lspToLpc(lsp, a);
            const int normBins = bins * 3 / 4;
            std::vector<float> env, fromLsp;
            lpcEnvelope(a, bins, normBins, env);
            lspEnvelope(lsp, bins, bins, normBins, fromLsp);
            ASSERT_EQ(static_cast<int>(env.size()), bins);
            ASSERT_EQ(static_cast<int>(fromLsp.size()), bins);
            // Fewer bins computed: exactly the leading values of all of them.
            std::vector<float> leading;
            lspEnvelope(lsp, bins, normBins + 1, normBins, leading);
            EXPECT_EQ(leading, std::vector<float>(fromLsp.begin(), fromLsp.begin() + normBins + 1));
            std::vector<double> direct(bins);
            double sum = 0.0;
            for (int k = 0; k < bins; ++k) {
                const double w = kPi * (k + 0.5) / bins;
                std::complex<double> v = 0.0;
                for (int i = 0; i <= order; ++i) {
                    v += a[i] * std::polar(1.0, -w * i);
                }
                direct[k] = 1.0 / std::abs(v);
                if (k < normBins) {
                    sum += direct[k] * direct[k];
                }
            }
            const double norm = std::sqrt(normBins / sum);
            for (int k = 0; k < bins; ++k) {
                ASSERT_NEAR(env[k], direct[k] * norm, 1e-5 * direct[k] * norm)
                    << "order " << order << " bins " << bins << " bin " << k;
                ASSERT_NEAR(fromLsp[k], direct[k] * norm, 1e-5 * direct[k] * norm)
                    << "from LSPs, order " << order << " bins " << bins << " bin " << k;
            }
        }
    }
}

TEST(Lpc, FitUsesTheAutocorrelationOfThePowerSpectrum) {
    // The fit of a power spectrum must equal Levinson's recursion on the directly computed
    // autocorrelation (same lag window and noise floor), for orders whose lag rows fill
    // different numbers of vectors, and one beyond what the vector path takes.
    for (const int order : {12, 16, 20, 27}) {
        SCOPED_TRACE(order);
        checkFit(512, order);
    }
}

TEST(Lpc, LspsOfAPredictorRebuildIt) {
    // Order 20 has more roots per polynomial than are refined at once.
    for (const int order : {12, 16, 20}) {
        std::vector<double> lsp0(order);
        for (int i = 0; i < order; ++i) {
            // Uneven spacing, some pairs close to each other and to the ends of (0, pi).
            lsp0[i] = 0.02 + (kPi - 0.04) * std::pow((i + 0.5) / order, 1.3);
        }
        lsp0[3] = lsp0[2] + 0.015;
        stabiliseLsp(lsp0);
        std::vector<double> a;
        lspToLpc(lsp0, a);
        std::vector<double> lsp;
        ASSERT_TRUE(lpcToLsp(a, lsp)) << "order " << order;
        ASSERT_EQ(static_cast<int>(lsp.size()), order);
        for (int i = 0; i < order; ++i) {
            EXPECT_NEAR(lsp[i], lsp0[i], 1e-7) << "order " << order << " lsp " << i;
        }
    }
}

namespace {

// The root search done plainly: both series evaluated at every point of the grid of 1024
// steps in w (Clenshaw's recurrence in x = cos w, the same operations in the same order),
// each sign change bisected 30 times in x. The search that skips most of the grid must find
// exactly these roots, bit for bit, or fail where this fails.
bool plainLsp(const std::vector<double>& a, std::vector<double>& lsp) {
    const int p = static_cast<int>(a.size()) - 1;
    std::vector<double> poly[2] = {std::vector<double>(p + 1), std::vector<double>(p + 1)};
    double prev[2] = {0.0, 0.0};
    for (int i = 0; i <= p; ++i) {
        const double rev = (p + 1 - i <= p) ? a[p + 1 - i] : 0.0;
        poly[0][i] = a[i] + rev - prev[0];
        poly[1][i] = a[i] - rev + prev[1];
        prev[0] = poly[0][i];
        prev[1] = poly[1][i];
    }
    const int half = (p + 1) / 2;
    const auto series = [&](const std::vector<double>& c, double x) {
        double b1 = 0.0, b2 = 0.0;
        for (int i = 0; i < half; ++i) {
            const double b0 = 2.0 * c[i] + 2.0 * x * b1 - b2;
            b2 = b1;
            b1 = b0;
        }
        return c[half] + x * b1 - b2;
    };
    lsp.clear();
    for (const std::vector<double>& c : poly) {
        for (int g = 1; g <= 1024; ++g) {
            double lo = std::cos(kPi * (g - 1) / 1024), hi = std::cos(kPi * g / 1024);
            double vlo = series(c, lo);
            if ((vlo <= 0.0) == (series(c, hi) <= 0.0)) {
                continue;
            }
            for (int it = 0; it < 30; ++it) {
                const double mid = 0.5 * (lo + hi);
                const double v = series(c, mid);
                if ((v <= 0.0) == (vlo <= 0.0)) {
                    lo = mid;
                    vlo = v;
                } else {
                    hi = mid;
                }
            }
            lsp.push_back(std::acos(std::clamp(0.5 * (lo + hi), -1.0, 1.0)));
        }
    }
    std::sort(lsp.begin(), lsp.end());
    return static_cast<int>(lsp.size()) == p;
}

}  // namespace

TEST(Lpc, RootSearchFindsExactlyThePlainGridSearchsRoots) {
    // Predictors fitted to random spectra, and ones with three LSPs within a step of the
    // coarse grid (roots of one polynomial too close for it to tell apart).
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> level(0.0, 6.0);
    for (const int order : {12, 16, 20}) {
        for (int trial = 0; trial < 40; ++trial) {
            std::vector<double> a;
            if (trial % 4 == 3) {
                std::vector<double> lsp0 = peakyLsp(order);
                lsp0[7] = lsp0[6] + 0.004 * (trial % 3 + 1);
                lsp0[8] = lsp0[7] + 0.004;
                lspToLpc(lsp0, a);
            } else {
                std::vector<float> power(256);
                for (float& v : power) {
                    v = static_cast<float>(std::exp(level(rng) * level(rng)));
                }
                lpcFromPower(power.data(), 256, order, a);
            }
            std::vector<double> lsp, expected;
            EXPECT_EQ(lpcToLsp(a, lsp), plainLsp(a, expected));
            EXPECT_EQ(lsp, expected) << "order " << order << ", trial " << trial;
        }
    }
}
