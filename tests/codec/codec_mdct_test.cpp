// Transform and windows: any sequence of block sizes the window switching can produce must
// reconstruct its input exactly when nothing is quantised.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <stdexcept>
#include <vector>

#include "codec/core/mdct.h"

using namespace tembrel::tvq;

// The fast transform against the sums it stands for, at every size the codec uses: forward
// X[k] = sqrt(2/M) sum_n u[n] cos(pi/M (n + 1/2)(k + 1/2)) of the folded window u, and the
// inverse giving the time-aliased window back.
TEST(Mdct, MatchesTheDirectTransformAtEverySize) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> sample(-1.0, 1.0);
    for (const int m : {16, 32, 64, 128, 256, 512, 1024}) {
        std::vector<float> x(2 * m), coefs(m), back(2 * m);
        for (float& v : x) {
            v = static_cast<float>(sample(random));
        }
        Mdct mdct(m);
        mdct.forward(x.data(), coefs.data());
        mdct.inverse(coefs.data(), back.data());
        for (int k = 0; k < m; ++k) {
            double direct = 0.0;
            for (int n = 0; n < 2 * m; ++n) {
                direct += x[n] * std::cos(M_PI / m * (n + 0.5 + m / 2.0) * (k + 0.5));
            }
            ASSERT_NEAR(coefs[k], direct * std::sqrt(2.0 / m), 2e-5 * std::sqrt(m))
                << m << " " << k;
        }
        for (int n = 0; n < 2 * m; ++n) {
            double direct = 0.0;
            for (int k = 0; k < m; ++k) {
                direct += coefs[k] * std::cos(M_PI / m * (n + 0.5 + m / 2.0) * (k + 0.5));
            }
            ASSERT_NEAR(back[n], direct * std::sqrt(2.0 / m), 2e-5 * std::sqrt(m)) << m << " " << n;
        }
    }
    EXPECT_THROW(Mdct(48), std::invalid_argument);
}

TEST(Mdct, OverlappingSlopesAddUpToOne) {
    for (const int overlap : {32, 64, 128, 256, 512, 1024}) {
        std::vector<float> w;
        makeWindow(overlap, overlap, overlap, w);
        // The left slope runs over [size/2 - overlap/2, ...) and the right one over
        // [3 size/2 - overlap/2, ...): the previous block's right slope meets this left one.
        const int leftStart = overlap / 2 - overlap / 2;
        const int rightStart = 3 * overlap / 2 - overlap / 2;
        for (int i = 0; i < overlap; ++i) {
            const double sum = double{w[leftStart + i]} * w[leftStart + i] +
                               double{w[rightStart + i]} * w[rightStart + i];
            ASSERT_NEAR(sum, 1.0, 1e-5) << overlap << " " << i;
        }
    }
}

// Frames of n samples coded as long (1 x n), middle (2 x n/2) or short (8 x n/8) blocks, the
// overlap at each frame edge being the smaller neighbour's block size: windowed MDCT, inverse,
// overlap-add gives the input back.
TEST(Mdct, EverySequenceOfBlockSizesReconstructsItsInput) {
    const int n = 256;
    const int subBlocks[] = {1, 2, 8};
    const int types[] = {0, 0, 2, 1, 0, 2, 2, 1, 1, 0, 2, 0, 1, 2, 0, 0};
    const int frames = static_cast<int>(std::size(types));
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0.0f, 1000.0f);
    std::vector<float> input((frames + 2) * n, 0.0f);
    for (int i = n; i < frames * n; ++i) {
        input[i] = noise(random);
    }
    std::vector<float> output(input.size(), 0.0f);
    Mdct transforms[] = {Mdct(n), Mdct(n / 2), Mdct(n / 8)};
    for (int f = 1; f + 1 < frames; ++f) {
        const int m = n / subBlocks[types[f]];
        const int left = std::min(m, n / subBlocks[types[f - 1]]);
        const int right = std::min(m, n / subBlocks[types[f + 1]]);
        Mdct& mdct = transforms[types[f] == 0 ? 0 : types[f] == 1 ? 1 : 2];
        std::vector<float> windowed(2 * m), coefs(m), back(2 * m);
        for (int j = 0; j < subBlocks[types[f]]; ++j) {
            std::vector<float> w;
            makeWindow(m, j == 0 ? left : m, j == subBlocks[types[f]] - 1 ? right : m, w);
            // Frame f's window is centred on the edge between input frames f-1 and f.
            const int start = (f - 1) * n + n / 2 + j * m - m / 2;
            for (int i = 0; i < 2 * m; ++i) {
                windowed[i] = w[i] * input[start + i];
            }
            mdct.forward(windowed.data(), coefs.data());
            mdct.inverse(coefs.data(), back.data());
            for (int i = 0; i < 2 * m; ++i) {
                output[start + i] += w[i] * back[i];
            }
        }
    }
    // Frames 2 .. frames-2 are covered by complete windows on both sides.
    for (int i = 2 * n; i < (frames - 2) * n; ++i) {
        ASSERT_NEAR(output[i], input[i], 0.05f) << i;
    }
}
