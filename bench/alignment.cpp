#include "bench/alignment.h"

#include <fftw3.h>

#include <algorithm>
#include <complex>
#include <memory>
#include <vector>

namespace tembrel::bench {
namespace {

struct FftwFree {
    void operator()(void* p) const { fftw_free(p); }
};
struct FftwPlanDeleter {
    void operator()(fftw_plan_s* plan) const { fftw_destroy_plan(plan); }
};
using RealBuffer = std::unique_ptr<double, FftwFree>;
using ComplexBuffer = std::unique_ptr<fftw_complex, FftwFree>;
using Plan = std::unique_ptr<fftw_plan_s, FftwPlanDeleter>;

// Ten seconds at 48 kHz are plenty to find a codec's delay and keep the transform small.
constexpr std::size_t kMaxCorrelated = 480000;

}  // namespace

long findLag(std::span<const float> reference, std::span<const float> test, long maxLag) {
    maxLag = std::max(0L, maxLag);
    const std::size_t refLength = std::min(reference.size(), kMaxCorrelated);
    const std::size_t testLength = std::min(test.size(), kMaxCorrelated + std::size_t(maxLag));
    if (refLength == 0 || testLength == 0)
        return 0;

    // A power of two that holds both signals, so that the circular correlation does
    // not wrap onto the lags searched.
    std::size_t size = 1;
    while (size < refLength + testLength)
        size *= 2;
    const std::size_t bins = size / 2 + 1;
    RealBuffer a(static_cast<double*>(fftw_malloc(sizeof(double) * size)));
    RealBuffer b(static_cast<double*>(fftw_malloc(sizeof(double) * size)));
    ComplexBuffer fa(static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * bins)));
    ComplexBuffer fb(static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * bins)));
    Plan forwardA(fftw_plan_dft_r2c_1d(int(size), a.get(), fa.get(), FFTW_ESTIMATE));
    Plan forwardB(fftw_plan_dft_r2c_1d(int(size), b.get(), fb.get(), FFTW_ESTIMATE));
    Plan backward(fftw_plan_dft_c2r_1d(int(size), fa.get(), a.get(), FFTW_ESTIMATE));

    std::fill_n(a.get(), size, 0.0);
    std::fill_n(b.get(), size, 0.0);
    std::copy_n(reference.begin(), refLength, a.get());
    std::copy_n(test.begin(), testLength, b.get());
    fftw_execute(forwardA.get());
    fftw_execute(forwardB.get());
    for (std::size_t k = 0; k < bins; ++k) {
        // conj(A) * B: the correlation of test against reference.
        const std::complex<double> x(fa.get()[k][0], -fa.get()[k][1]);
        const std::complex<double> y(fb.get()[k][0], fb.get()[k][1]);
        const std::complex<double> z = x * y;
        fa.get()[k][0] = z.real();
        fa.get()[k][1] = z.imag();
    }
    fftw_execute(backward.get());

    const double* r = a.get();
    long best = 0;
    double bestValue = 0;
    for (long lag = -maxLag; lag <= maxLag; ++lag) {
        const std::size_t index = lag >= 0 ? std::size_t(lag) : size - std::size_t(-lag);
        if (index >= size)
            continue;
        if (r[index] > bestValue) {
            bestValue = r[index];
            best = lag;
        }
    }
    return best;
}

}  // namespace tembrel::bench
