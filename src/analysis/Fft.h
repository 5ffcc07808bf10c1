#pragma once

#include <atomic>
#include <complex>
#include <cstdint>
#include <span>
#include <vector>

namespace kurvex {

// A normalised forward discrete Fourier transform of one fixed length,
// C_k = (1/N) sum_j x_j e^(-2 pi i jk/N), by recursive mixed-radix decimation
// in time. Radix 4, 2, 3 and 5 have their own butterflies; any other prime
// factor (a prime length included) is summed directly. The plan holds the
// twiddle factors and may be used from several threads at once.
class Fft {
public:
    using Complex = std::complex<double>;

    // A plan for length n (n >= 1).
    explicit Fft(std::int32_t n);

    // The length.
    std::int32_t Size() const { return n_; }
    // The radices in the order the recursion splits by them.
    const std::vector<std::int32_t>& Radices() const { return radices_; }

    // Transforms `in` into `out` (both of Size() values, not overlapping).
    // Returns false, with `out` unspecified, when *cancel became true or the
    // sizes are wrong.
    bool Forward(std::span<const Complex> in, std::span<Complex> out,
                 const std::atomic<bool>* cancel = nullptr) const;
    // The same for real input.
    bool ForwardReal(std::span<const double> in, std::span<Complex> out,
                     const std::atomic<bool>* cancel = nullptr) const;

private:
    struct Run;
    void Work(Run& run, Complex* out, const Complex* in, std::int64_t stride,
              std::size_t level) const;

    std::int32_t n_ = 0;
    std::vector<std::int32_t> radices_;        // outermost split first
    std::vector<Complex> twiddles_;            // e^(-2 pi i k/N), k = 0..N-1
    std::vector<std::vector<Complex>> roots_;  // per level of a direct sum: (cos, sin)(2 pi t/p)
    std::int32_t largestGeneric_ = 0;          // scratch size of the direct sum
};

}  // namespace kurvex
