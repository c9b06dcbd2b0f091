#include "codec/core/mdct.h"

#include <fftw3.h>

#include <cmath>
#include <mutex>

namespace tembrel::tvq {
namespace {

// FFTW's planner is not reentrant; plans are made and destroyed under this lock.
std::mutex& plannerLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

Mdct::Mdct(int size) : size_(size) {
    std::lock_guard<std::mutex> guard(plannerLock());
    in_ = fftwf_alloc_real(size);
    out_ = fftwf_alloc_real(size);
    plan_ = fftwf_plan_r2r_1d(size, in_, out_, FFTW_REDFT11, FFTW_ESTIMATE);
}

Mdct::~Mdct() {
    std::lock_guard<std::mutex> guard(plannerLock());
    fftwf_destroy_plan(static_cast<fftwf_plan>(plan_));
    fftwf_free(in_);
    fftwf_free(out_);
}

// With the window's quarters a, b, c, d (each size/2 long), the MDCT is the DCT-IV of
// (-c_reversed - d, a - b_reversed).
void Mdct::forward(const float* x, float* coefs) {
    const int half = size_ / 2;
    for (int n = 0; n < half; ++n) {
        in_[n] = -x[3 * half - 1 - n] - x[3 * half + n];
        in_[half + n] = x[n] - x[size_ - 1 - n];
    }
    fftwf_execute(static_cast<fftwf_plan>(plan_));
    const float scale = 1.0f / std::sqrt(2.0f * size_);
    for (int k = 0; k < size_; ++k) {
        coefs[k] = out_[k] * scale;
    }
}

void Mdct::inverse(const float* coefs, float* y) {
    const int half = size_ / 2;
    for (int k = 0; k < size_; ++k) {
        in_[k] = coefs[k];
    }
    fftwf_execute(static_cast<fftwf_plan>(plan_));
    const float scale = 1.0f / std::sqrt(2.0f * size_);
    // Unfold u = (u1, u2) into (u2, -u2_reversed, -u1_reversed, -u1).
    for (int n = 0; n < half; ++n) {
        const float u1 = out_[n] * scale;
        const float u2 = out_[half + n] * scale;
        y[n] = u2;
        y[size_ - 1 - n] = -u2;
        y[size_ + half - 1 - n] = -u1;
        y[size_ + half + n] = -u1;
    }
}

void makeWindow(int size, int leftOverlap, int rightOverlap, std::vector<float>& w) {
    w.assign(2 * size, 0.0f);
    const double pi = 3.14159265358979323846;
    const int leftStart = size / 2 - leftOverlap / 2;
    const int rightStart = 3 * size / 2 - rightOverlap / 2;
    for (int n = leftStart; n < rightStart + rightOverlap; ++n) {
        double v = 1.0;
        if (n < leftStart + leftOverlap) {
            v = std::sin(pi / (2.0 * leftOverlap) * (n - leftStart + 0.5));
        } else if (n >= rightStart) {
            v = std::cos(pi / (2.0 * rightOverlap) * (n - rightStart + 0.5));
        }
        w[n] = static_cast<float>(v);
    }
}

}  // namespace tembrel::tvq

namespace tembrel::tvq {

const std::vector<float>& WindowCache::get(int size, int left, int right) {
    for (const Entry& e : entries_) {
        if (e.size == size && e.left == left && e.right == right) {
            return e.window;
        }
    }
    entries_.push_back({size, left, right, {}});
    makeWindow(size, left, right, entries_.back().window);
    return entries_.back().window;
}

}  // namespace tembrel::tvq
