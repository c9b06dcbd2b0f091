// Generates codec/tables/shape_codebooks.cpp: the conjugate shape codebook pairs, trained
// jointly on synthetic flattened spectra (Gaussian components with a random log-normal spread,
// plus sparse tonal peaks) drawn from a fixed-seed generator, so the output is reproducible.
// With --pitch it generates codec/tables/pitch_codebooks.cpp instead: the conjugate pair for
// the harmonic peak amplitudes, trained on the peaks of synthetic harmonic tones.
//
// Usage: make_codebooks <output.cpp> [last-dim]
//        make_codebooks --pitch <output.cpp>
// With last-dim, only the codebooks up to that vector length are written (the start of the
// full table, since training runs from the shortest length up): a quick reproducibility check.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string_view>
#include <vector>

#include "codec/core/codebooks.h"

namespace {

using tembrel::tvq::kMaxCodebookBits;
using tembrel::tvq::kMaxCodebookDim;
using tembrel::tvq::kMinCodebookBits;
using tembrel::tvq::kMinCodebookDim;
using tembrel::tvq::kPitchCodebookBits;
using tembrel::tvq::kPitchCodebookDim;

int gDim = 0;  // dimension being trained

constexpr uint64_t kSeed = 0x7e3b1a5c9d2f4e61ULL;
constexpr uint64_t kPitchSeed = 0x3c6ef372a54ff53aULL;
constexpr int kTrainingVectors = 8000;
constexpr int kIterations = 8;
constexpr int kPreselect = 6;

// splitmix64: small, portable and fully specified.
class Random {
  public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    double gaussian() {
        const double u1 = std::max(uniform(), 1e-300);
        const double u2 = uniform();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }

  private:
    uint64_t state_;
};

using Vec = std::vector<float>;

std::vector<Vec> trainingSet(Random& rng) {
    std::vector<Vec> set(kTrainingVectors, Vec(gDim));
    for (Vec& v : set) {
        const bool tonal = rng.uniform() < 0.3;
        double energy = 0.0;
        for (float& x : v) {
            const double spread = std::exp(0.7 * rng.gaussian());
            x = static_cast<float>(rng.gaussian() * spread * (tonal ? 0.5 : 1.0));
        }
        if (tonal) {
            const int peaks = 1 + static_cast<int>(rng.uniform() * 3);
            for (int p = 0; p < peaks; ++p) {
                const int at = static_cast<int>(rng.uniform() * gDim);
                v[at] += static_cast<float>((rng.uniform() < 0.5 ? -1 : 1) *
                                            (2.0 + 3.0 * rng.uniform()));
            }
        }
        for (float x : v) {
            energy += x * x;
        }
        // Flattened spectra have unit power per component on average.
        const float norm = static_cast<float>(std::sqrt(gDim / std::max(energy, 1e-9)));
        const float scale = static_cast<float>(std::exp(0.25 * rng.gaussian()));
        for (float& x : v) {
            x *= norm * scale;
        }
    }
    return set;
}

// Peak values of harmonic tones in the flattened spectrum, every other harmonic (how the two
// pitch vectors share them). A sinusoid's transform coefficient at its nearest bin is its
// amplitude times the window response at the fractional offset (between 1 and about 0.6)
// times the cosine of a phase that changes from frame to frame; the envelope leaves the
// amplitudes level apart from a spread, a tilt and harmonics that are missing altogether.
std::vector<Vec> pitchTrainingSet(Random& rng) {
    std::vector<Vec> set(kTrainingVectors, Vec(gDim));
    for (Vec& v : set) {
        const double tilt = 0.08 * rng.gaussian();
        const double missing = 0.3 * rng.uniform();
        double energy = 0.0;
        for (int k = 0; k < gDim; ++k) {
            double x = 0.0;
            if (rng.uniform() >= missing) {
                const double offset = rng.uniform() - 0.5;
                const double response = std::cos(3.141592653589793 * offset * 0.6);
                const double phase = 6.283185307179586 * rng.uniform();
                x = std::exp(0.5 * rng.gaussian() - tilt * k) * response * std::cos(phase);
            }
            v[k] = static_cast<float>(x + 0.15 * rng.gaussian());
            energy += v[k] * v[k];
        }
        // Unit power per component on average; the pitch gain carries the level.
        const float norm = static_cast<float>(std::sqrt(gDim / std::max(energy, 1e-9)));
        for (float& x : v) {
            x *= norm;
        }
    }
    return set;
}

float distance(const float* a, const float* b) {
    float d = 0.0f;
    for (int k = 0; k < gDim; ++k) {
        const float e = a[k] - b[k];
        d += e * e;
    }
    return d;
}

// The `count` entries of `book` nearest to half of x (each codebook carries half the vector).
void preselect(const Vec& half, const Vec& book, int size, int count, std::vector<int>& out) {
    std::vector<std::pair<float, int>> scored(size);
    for (int i = 0; i < size; ++i) {
        scored[i] = {distance(half.data(), &book[i * gDim]), i};
    }
    std::partial_sort(scored.begin(), scored.begin() + count, scored.end());
    out.clear();
    for (int i = 0; i < count; ++i) {
        out.push_back(scored[i].second);
    }
}

void train(int bits, const std::vector<Vec>& set, Random& rng, Vec& book0, Vec& book1) {
    const int size = 1 << bits;
    book0.assign(size * gDim, 0.0f);
    book1.assign(size * gDim, 0.0f);
    for (int i = 0; i < size; ++i) {
        for (int k = 0; k < gDim; ++k) {
            book0[i * gDim + k] = static_cast<float>(0.5 * rng.gaussian());
            book1[i * gDim + k] = static_cast<float>(0.5 * rng.gaussian());
        }
    }
    const int candidates = std::min(kPreselect, size);
    std::vector<int> pick0, pick1, assign0(set.size()), assign1(set.size());
    Vec half(gDim), sum(gDim);
    for (int iter = 0; iter < kIterations; ++iter) {
        for (size_t n = 0; n < set.size(); ++n) {
            const Vec& x = set[n];
            for (int k = 0; k < gDim; ++k) {
                half[k] = 0.5f * x[k];
            }
            preselect(half, book0, size, candidates, pick0);
            preselect(half, book1, size, candidates, pick1);
            float best = std::numeric_limits<float>::max();
            for (int i : pick0) {
                for (int j : pick1) {
                    for (int k = 0; k < gDim; ++k) {
                        sum[k] = book0[i * gDim + k] + book1[j * gDim + k];
                    }
                    const float d = distance(x.data(), sum.data());
                    if (d < best) {
                        best = d;
                        assign0[n] = i;
                        assign1[n] = j;
                    }
                }
            }
        }
        // Each codebook in turn becomes the mean of what the other leaves over.
        for (int side = 0; side < 2; ++side) {
            Vec& book = side == 0 ? book0 : book1;
            const Vec& other = side == 0 ? book1 : book0;
            const std::vector<int>& mine = side == 0 ? assign0 : assign1;
            const std::vector<int>& theirs = side == 0 ? assign1 : assign0;
            std::vector<double> acc(size * gDim, 0.0);
            std::vector<int> count(size, 0);
            for (size_t n = 0; n < set.size(); ++n) {
                ++count[mine[n]];
                for (int k = 0; k < gDim; ++k) {
                    acc[mine[n] * gDim + k] += set[n][k] - other[theirs[n] * gDim + k];
                }
            }
            for (int i = 0; i < size; ++i) {
                if (count[i] == 0) {
                    // An unused entry restarts from a random training vector.
                    const Vec& x = set[rng.next() % set.size()];
                    for (int k = 0; k < gDim; ++k) {
                        book[i * gDim + k] = 0.5f * x[k];
                    }
                    continue;
                }
                for (int k = 0; k < gDim; ++k) {
                    book[i * gDim + k] = static_cast<float>(acc[i * gDim + k] / count[i]);
                }
            }
        }
    }
}

void writeBook(FILE* out, const char* name, const Vec& book) {
    std::fprintf(out, "const float %s[] = {\n", name);
    for (size_t i = 0; i < book.size(); ++i) {
        std::fprintf(out, "%s%.7ef,%s", i % 6 == 0 ? "    " : "", book[i],
                     i % 6 == 5 || i + 1 == book.size() ? "\n" : " ");
    }
    std::fprintf(out, "};\n\n");
}

// Opens a generated table and writes its opening lines: how to make it again, and the include
// every table needs. Null (with a message) when the file cannot be written.
FILE* openTable(const char* path, const char* command, uint64_t seed) {
    FILE* out = std::fopen(path, "w");
    if (out == nullptr) {
        std::fprintf(stderr, "make_codebooks: cannot write %s\n", path);
        return nullptr;
    }
    std::fprintf(out,
                 "// Generated by codec/tools/make_codebooks.cpp (%s, seed 0x%016llx). Do not "
                 "edit.\n",
                 command, static_cast<unsigned long long>(seed));
    std::fprintf(out, "// clang-format off\n#include \"codec/core/codebooks.h\"\n\n");
    return out;
}

int writePitchTable(const char* path) {
    FILE* out = openTable(path, "make_codebooks --pitch <output.cpp>", kPitchSeed);
    if (out == nullptr) {
        return 1;
    }
    std::fprintf(out, "namespace tembrel::tvq {\nnamespace {\n\n");
    Random rng(kPitchSeed);
    gDim = kPitchCodebookDim;
    Vec book0, book1;
    const std::vector<Vec> set = pitchTrainingSet(rng);
    train(kPitchCodebookBits, set, rng, book0, book1);
    writeBook(out, "kPitchBook0", book0);
    writeBook(out, "kPitchBook1", book1);
    std::fprintf(out,
                 "}  // namespace\n\nconst float* pitchCodebook(int which) {\n"
                 "    return which == 0 ? kPitchBook0 : kPitchBook1;\n}\n\n"
                 "}  // namespace tembrel::tvq\n");
    return std::fclose(out) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string_view(argv[1]) == "--pitch") {
        return writePitchTable(argv[2]);
    }
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr,
                     "usage: make_codebooks <output.cpp> [last-dim]\n"
                     "       make_codebooks --pitch <output.cpp>\n");
        return 2;
    }
    const int lastDim = argc == 3 ? std::atoi(argv[2]) : kMaxCodebookDim;
    if (lastDim < kMinCodebookDim || lastDim > kMaxCodebookDim) {
        std::fprintf(stderr, "make_codebooks: last-dim must be %d..%d\n", kMinCodebookDim,
                     kMaxCodebookDim);
        return 2;
    }
    FILE* out = openTable(argv[1], "make_codebooks <output.cpp>", kSeed);
    if (out == nullptr) {
        return 1;
    }
    std::fprintf(out, "#include <algorithm>\n\nnamespace tembrel::tvq {\nnamespace {\n\n");
    Random rng(kSeed);
    for (int dim = kMinCodebookDim; dim <= lastDim; ++dim) {
        gDim = dim;
        for (int bits = kMinCodebookBits; bits <= kMaxCodebookBits; ++bits) {
            Vec book0, book1;
            const std::vector<Vec> set = trainingSet(rng);
            train(bits, set, rng, book0, book1);
            char name[32];
            std::snprintf(name, sizeof name, "kBook%d_%d_0", dim, bits);
            writeBook(out, name, book0);
            std::snprintf(name, sizeof name, "kBook%d_%d_1", dim, bits);
            writeBook(out, name, book1);
        }
    }
    std::fprintf(out,
                 "const float* const kBooks[][kMaxCodebookBits - kMinCodebookBits + 1][2] = {\n");
    for (int dim = kMinCodebookDim; dim <= kMaxCodebookDim; ++dim) {
        std::fprintf(out, "    {");
        for (int bits = kMinCodebookBits; bits <= kMaxCodebookBits; ++bits) {
            std::fprintf(out, "{kBook%d_%d_0, kBook%d_%d_1}, ", dim, bits, dim, bits);
        }
        std::fprintf(out, "},\n");
    }
    std::fprintf(
        out,
        "};\n\n}  // namespace\n\nconst float* shapeCodebook(int which, int bits, int dim) {\n"
        "    const int b = std::clamp(bits, kMinCodebookBits, kMaxCodebookBits);\n"
        "    const int d = std::clamp(dim, kMinCodebookDim, kMaxCodebookDim);\n"
        "    return kBooks[d - kMinCodebookDim][b - kMinCodebookBits][which == 0 ? 0 : 1];\n}\n\n"
        "}  // namespace tembrel::tvq\n");
    return std::fclose(out) == 0 ? 0 : 1;
}
