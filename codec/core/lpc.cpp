#include "codec/core/lpc.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace tembrel::tvq {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMinLspGap = 0.012;
constexpr double kLspEdge = 0.006;

// Sum c_half + 2 * sum_{i<half} c_i cos((half - i) w) of a symmetric polynomial of even degree.
double symmetricValue(const std::vector<double>& c, double w) {
    const int half = static_cast<int>(c.size()) / 2;
    double v = c[half];
    for (int i = 0; i < half; ++i) {
        v += 2.0 * c[i] * std::cos((half - i) * w);
    }
    return v;
}

void findRoots(const std::vector<double>& c, std::vector<double>& roots) {
    constexpr int kGrid = 1024;
    double prevW = 0.0;
    double prevV = symmetricValue(c, 0.0);
    for (int g = 1; g <= kGrid; ++g) {
        const double w = kPi * g / kGrid;
        const double v = symmetricValue(c, w);
        if ((prevV <= 0.0) != (v <= 0.0)) {
            double lo = prevW, hi = w, vlo = prevV;
            for (int it = 0; it < 30; ++it) {
                const double mid = 0.5 * (lo + hi);
                const double vm = symmetricValue(c, mid);
                if ((vm <= 0.0) == (vlo <= 0.0)) {
                    lo = mid;
                    vlo = vm;
                } else {
                    hi = mid;
                }
            }
            roots.push_back(0.5 * (lo + hi));
        }
        prevW = w;
        prevV = v;
    }
}

}  // namespace

void lpcFromPower(const float* power, int bins, int order, std::vector<double>& a) {
    std::vector<double> r(order + 1, 0.0);
    for (int k = 0; k < bins; ++k) {
        const double w = kPi * (k + 0.5) / bins;
        for (int t = 0; t <= order; ++t) {
            r[t] += power[k] * std::cos(w * t);
        }
    }
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
    findRoots(pc, lsp);
    findRoots(qc, lsp);
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
    double sum = 0.0;
    for (int k = 0; k < bins; ++k) {
        const double w = kPi * (k + 0.5) / bins;
        const std::complex<double> z = std::polar(1.0, -w);
        std::complex<double> v = a[p];
        for (int i = p - 1; i >= 0; --i) {
            v = v * z + a[i];
        }
        const double mag2 = std::max(std::norm(v), 1e-12);
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

}  // namespace tembrel::tvq
