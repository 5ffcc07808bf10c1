#include "analysis/Fft.h"

#include <cmath>
#include <numbers>

namespace kurvex {
namespace {

using Complex = Fft::Complex;

// Written out: std::complex's operator* checks for NaN/Inf recovery through a
// library call, which costs more than the butterfly itself.
inline Complex Mul(Complex a, Complex b) {
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}
// -i * a
inline Complex MulMinusI(Complex a) {
    return {a.imag(), -a.real()};
}

// Cancellation is polled about once per this many complex operations.
constexpr std::int64_t kPollEvery = 1 << 16;

}  // namespace

struct Fft::Run {
    const std::atomic<bool>* cancel;
    std::vector<Complex> scratch;
    std::int64_t work = 0;
    bool stopped = false;

    // Counts work done and reports whether to stop.
    bool Poll(std::int64_t ops) {
        work += ops;
        if (work < kPollEvery) return stopped;
        work = 0;
        if (cancel && cancel->load(std::memory_order_relaxed)) stopped = true;
        return stopped;
    }
};

Fft::Fft(std::int32_t n) : n_(n < 1 ? 1 : n) {
    // Radix 4 first keeps most of the work in the cheapest butterfly.
    std::int32_t rest = n_;
    while (rest % 4 == 0) {
        radices_.push_back(4);
        rest /= 4;
    }
    for (std::int32_t p : {2, 3, 5}) {
        while (rest % p == 0) {
            radices_.push_back(p);
            rest /= p;
        }
    }
    for (std::int32_t p = 7; rest > 1; p += 2) {
        if (static_cast<std::int64_t>(p) * p > rest) p = rest;
        while (rest % p == 0) {
            radices_.push_back(p);
            largestGeneric_ = std::max(largestGeneric_, p);
            rest /= p;
        }
    }
    twiddles_.resize(static_cast<std::size_t>(n_));
    const double step = -2.0 * std::numbers::pi / n_;
    for (std::int32_t k = 0; k < n_; ++k)
        twiddles_[static_cast<std::size_t>(k)] = std::polar(1.0, step * k);
    // cos and sin of 2 pi t/p for the direct sums, kept small for the cache.
    roots_.resize(radices_.size());
    for (std::size_t level = 0; level < radices_.size(); ++level) {
        const std::int32_t p = radices_[level];
        if (p <= 5) continue;
        roots_[level].resize(static_cast<std::size_t>(p));
        for (std::int32_t t = 0; t < p; ++t)
            roots_[level][static_cast<std::size_t>(t)] = {std::cos(2.0 * std::numbers::pi * t / p),
                                                          std::sin(2.0 * std::numbers::pi * t / p)};
    }
}

void Fft::Work(Run& run, Complex* out, const Complex* in, std::int64_t stride,
               std::size_t level) const {
    if (run.stopped) return;
    const std::int32_t p = radices_[level];
    const std::int64_t m = n_ / stride / p;  // length of each sub-transform
    if (m == 1) {
        for (std::int32_t r = 0; r < p; ++r) out[r] = in[r * stride];
    } else {
        for (std::int32_t r = 0; r < p; ++r)
            Work(run, out + r * m, in + r * stride, stride * p, level + 1);
    }
    if (run.Poll(p * m)) return;

    const Complex* tw = twiddles_.data();
    // Twiddle of sub-sequence r at output index k: w^(stride * k * r).
    switch (p) {
        case 2:
            for (std::int64_t k = 0; k < m; ++k) {
                const Complex t = Mul(out[k + m], tw[k * stride]);
                out[k + m] = out[k] - t;
                out[k] += t;
            }
            break;
        case 4:
            for (std::int64_t k = 0; k < m; ++k) {
                const Complex a0 = out[k];
                const Complex a1 = Mul(out[k + m], tw[k * stride]);
                const Complex a2 = Mul(out[k + 2 * m], tw[2 * k * stride]);
                const Complex a3 = Mul(out[k + 3 * m], tw[3 * k * stride]);
                const Complex s0 = a0 + a2, s1 = a0 - a2, s2 = a1 + a3, s3 = a1 - a3;
                out[k] = s0 + s2;
                out[k + 2 * m] = s0 - s2;
                out[k + m] = s1 + MulMinusI(s3);
                out[k + 3 * m] = s1 - MulMinusI(s3);
            }
            break;
        case 3: {
            const double h = std::sqrt(3.0) / 2.0;
            for (std::int64_t k = 0; k < m; ++k) {
                const Complex a0 = out[k];
                const Complex a1 = Mul(out[k + m], tw[k * stride]);
                const Complex a2 = Mul(out[k + 2 * m], tw[2 * k * stride]);
                const Complex s = a1 + a2;
                const Complex d = MulMinusI(a1 - a2) * h;
                const Complex c = a0 - s * 0.5;
                out[k] = a0 + s;
                out[k + m] = c + d;
                out[k + 2 * m] = c - d;
            }
            break;
        }
        case 5: {
            const double c1 = std::cos(2.0 * std::numbers::pi / 5.0);
            const double s1 = std::sin(2.0 * std::numbers::pi / 5.0);
            const double c2 = std::cos(4.0 * std::numbers::pi / 5.0);
            const double s2 = std::sin(4.0 * std::numbers::pi / 5.0);
            for (std::int64_t k = 0; k < m; ++k) {
                const Complex a0 = out[k];
                const Complex a1 = Mul(out[k + m], tw[k * stride]);
                const Complex a2 = Mul(out[k + 2 * m], tw[2 * k * stride]);
                const Complex a3 = Mul(out[k + 3 * m], tw[3 * k * stride]);
                const Complex a4 = Mul(out[k + 4 * m], tw[4 * k * stride]);
                const Complex b1 = a1 + a4, b2 = a2 + a3, d1 = a1 - a4, d2 = a2 - a3;
                const Complex e1 = a0 + b1 * c1 + b2 * c2;
                const Complex e2 = a0 + b1 * c2 + b2 * c1;
                const Complex f1 = MulMinusI(d1 * s1 + d2 * s2);
                const Complex f2 = MulMinusI(d1 * s2 - d2 * s1);
                out[k] = a0 + b1 + b2;
                out[k + m] = e1 + f1;
                out[k + 4 * m] = e1 - f1;
                out[k + 2 * m] = e2 + f2;
                out[k + 3 * m] = e2 - f2;
            }
            break;
        }
        default: {
            // Any other odd prime: twiddle the inputs, then a direct p-point sum
            // that pairs r with p - r, so each cosine and sine serves two
            // outputs; a prime length ends here whole.
            const std::vector<Complex>& roots = roots_[level];
            Complex* s = run.scratch.data();
            Complex* a = s + p;
            Complex* b = a + p;
            const std::int32_t half = (p - 1) / 2;
            for (std::int64_t u = 0; u < m; ++u) {
                s[0] = out[u];
                for (std::int32_t r = 1; r < p; ++r) s[r] = Mul(out[u + r * m], tw[stride * u * r]);
                Complex dc = s[0];
                for (std::int32_t r = 1; r <= half; ++r) {
                    a[r] = s[r] + s[p - r];
                    b[r] = s[r] - s[p - r];
                    dc += a[r];
                }
                out[u] = dc;
                for (std::int32_t q = 1; q <= half; ++q) {
                    double ar = s[0].real(), ai = s[0].imag(), br = 0.0, bi = 0.0;
                    std::int32_t t = 0;
                    for (std::int32_t r = 1; r <= half; ++r) {
                        t += q;
                        if (t >= p) t -= p;
                        const double c = roots[static_cast<std::size_t>(t)].real();
                        const double sn = roots[static_cast<std::size_t>(t)].imag();
                        ar += a[r].real() * c;
                        ai += a[r].imag() * c;
                        br += b[r].real() * sn;
                        bi += b[r].imag() * sn;
                    }
                    // sn holds sin(2 pi t/p): X_q = A - i B, X_(p-q) = A + i B.
                    out[u + q * m] = {ar + bi, ai - br};
                    out[u + (p - q) * m] = {ar - bi, ai + br};
                    if (run.Poll(half)) return;
                }
            }
            break;
        }
    }
}

bool Fft::Forward(std::span<const Complex> in, std::span<Complex> out,
                  const std::atomic<bool>* cancel) const {
    if (in.size() != static_cast<std::size_t>(n_) || out.size() != in.size()) return false;
    Run run{cancel, std::vector<Complex>(3 * static_cast<std::size_t>(largestGeneric_))};
    if (radices_.empty()) {
        out[0] = in[0];
    } else {
        Work(run, out.data(), in.data(), 1, 0);
        if (run.stopped) return false;
    }
    const double n = n_;
    for (Complex& c : out) c = {c.real() / n, c.imag() / n};
    return !(cancel && cancel->load(std::memory_order_relaxed));
}

bool Fft::ForwardReal(std::span<const double> in, std::span<Complex> out,
                      const std::atomic<bool>* cancel) const {
    if (in.size() != static_cast<std::size_t>(n_)) return false;
    std::vector<Complex> buffer(in.begin(), in.end());
    return Forward(buffer, out, cancel);
}

}  // namespace kurvex
