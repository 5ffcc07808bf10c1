#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <numeric>
#include <random>
#include <vector>

#include "analysis/Fft.h"

namespace kurvex {
namespace {

using Complex = std::complex<double>;

// e^(-2 pi i m/N) for m = 0..N-1, in long double, computed directly.
struct Kernel {
    std::vector<long double> c, s;
    explicit Kernel(std::int64_t n) : c(static_cast<size_t>(n)), s(static_cast<size_t>(n)) {
        for (std::int64_t m = 0; m < n; ++m) {
            const long double angle = -2.0L * std::numbers::pi_v<long double> * m / n;
            c[static_cast<size_t>(m)] = std::cos(angle);
            s[static_cast<size_t>(m)] = std::sin(angle);
        }
    }
};

// The defining sum, in long double, for output k only.
Complex DirectCoefficient(const std::vector<Complex>& x, const Kernel& w, std::int64_t k) {
    const auto n = static_cast<std::int64_t>(x.size());
    long double re = 0, im = 0;
    for (std::int64_t j = 0; j < n; ++j) {
        const auto m = static_cast<size_t>((j * k) % n);
        re += x[j].real() * w.c[m] - x[j].imag() * w.s[m];
        im += x[j].real() * w.s[m] + x[j].imag() * w.c[m];
    }
    return {static_cast<double>(re / n), static_cast<double>(im / n)};
}

std::vector<Complex> RandomSignal(std::int32_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<Complex> x(static_cast<size_t>(n));
    for (Complex& v : x) v = {u(rng), u(rng)};
    return x;
}

TEST(FftTransform, MatchesTheDirectSumOnPrimePowerOfTwoAndMixedLengths) {
    // Up to 5005 every bin; then, at sampled bins as the full direct sum would be too
    // slow, table lengths with the generic radices 7..41, a prime below the snap
    // limit, and a power of two.
    std::vector<std::int32_t> lengths = {1,    2,    3,    4,    5,    6,    7,    8,    9,   11,
                                         12,   13,   16,   17,   25,   27,   32,   41,   43,  49,
                                         60,   64,   81,   97,   121,  128,  210,  243,  289, 997,
                                         1001, 1002, 1024, 1155, 2048, 3001, 3125, 4199, 5005};
    lengths.insert(lengths.end(),
                   {30015, 19997, 16384, 20000, 7 * 11 * 13 * 17 * 19, 23 * 29 * 31, 37 * 41 * 9});
    for (std::int32_t n : lengths) {
        const std::vector<Complex> x = RandomSignal(n, static_cast<unsigned>(n));
        std::vector<Complex> out(static_cast<size_t>(n));
        ASSERT_TRUE(Fft(n).Forward(x, out)) << n;
        const Kernel w(n);
        std::vector<std::int64_t> bins = {0, 1, 2, 3, 37, 1000, n / 2, n - 1, n - 7};
        if (n <= 5005) {
            bins.resize(static_cast<size_t>(n));
            std::iota(bins.begin(), bins.end(), 0);
        }
        for (std::int64_t k : bins)
            EXPECT_LT(std::abs(out[static_cast<size_t>(k)] - DirectCoefficient(x, w, k)), 1e-13)
                << "length " << n << " bin " << k;
    }
}

TEST(FftTransform, RealInputGivesTheCoefficientsOfTheDefiningSum) {
    for (std::int32_t n : {7, 12, 45, 64, 105}) {
        std::vector<double> x(static_cast<size_t>(n));
        std::vector<Complex> xc(x.size());
        for (std::int32_t j = 0; j < n; ++j) {
            x[static_cast<size_t>(j)] = std::sin(0.3 * j) + 0.25 * j;
            xc[static_cast<size_t>(j)] = x[static_cast<size_t>(j)];
        }
        std::vector<Complex> out(x.size());
        ASSERT_TRUE(Fft(n).ForwardReal(x, out));
        const Kernel w(n);
        for (std::int32_t k = 0; k < n; ++k)
            EXPECT_LT(std::abs(out[static_cast<size_t>(k)] - DirectCoefficient(xc, w, k)), 1e-13);
    }
}

TEST(FftTransform, StopsWhenCancelled) {
    std::atomic<bool> cancel{true};
    for (std::int32_t n : {1, 1024, 19997}) {
        const std::vector<Complex> x = RandomSignal(n, 3u);
        std::vector<Complex> out(x.size());
        EXPECT_FALSE(Fft(n).Forward(x, out, &cancel)) << n;
    }
}

}  // namespace
}  // namespace kurvex
