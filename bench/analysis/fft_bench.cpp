// The transform at the lengths a plan can reach, each beside FFTW's complex
// transform of the same length planned with FFTW_ESTIMATE.
#include <benchmark/benchmark.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

#include "analysis/Fft.h"
#include "analysis/FftPlan.h"
#include "analysis/FftSizeTable.h"
#include "data/model/RefPtr.h"
#include "data/model/ResultVariable.h"

#if KURVEX_BENCH_FFTW
#include <fftw3.h>
#endif

namespace {

using kurvex::Fft;

std::vector<double> Signal(std::int64_t n) {
    std::vector<double> x(static_cast<size_t>(n));
    for (std::int64_t j = 0; j < n; ++j)
        x[static_cast<size_t>(j)] = std::sin(0.001 * j) + 0.3 * std::sin(0.37 * j) + 0.1;
    return x;
}

std::int64_t LargestTableEntry() {
    return kurvex::FftSizeTable::Instance().Entries().back();
}

void BM_Kurvex(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    const Fft fft(n);
    const std::vector<double> x = Signal(n);
    std::vector<std::complex<double>> out(x.size());
    for (auto _ : state) {
        fft.ForwardReal(x, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel("kurvex");
}

#if KURVEX_BENCH_FFTW
void BM_Fftw(benchmark::State& state) {
    const auto n = static_cast<int>(state.range(0));
    fftw_complex* in = fftw_alloc_complex(static_cast<size_t>(n));
    fftw_complex* out = fftw_alloc_complex(static_cast<size_t>(n));
    fftw_plan plan = fftw_plan_dft_1d(n, in, out, FFTW_FORWARD, FFTW_ESTIMATE);
    const std::vector<double> x = Signal(n);
    for (auto _ : state) {
        // The same work as ours: load the real samples, transform, scale by 1/N.
        for (int j = 0; j < n; ++j) {
            in[j][0] = x[static_cast<size_t>(j)];
            in[j][1] = 0.0;
        }
        fftw_execute(plan);
        const double scale = 1.0 / n;
        for (int j = 0; j < n; ++j) {
            out[j][0] *= scale;
            out[j][1] *= scale;
        }
        benchmark::DoNotOptimize(out);
    }
    fftw_destroy_plan(plan);
    fftw_free(in);
    fftw_free(out);
    state.SetLabel("fftw estimate");
}
#endif

void Lengths(benchmark::internal::Benchmark* b) {
    for (std::int64_t n : {std::int64_t{30015}, std::int64_t{999999}, LargestTableEntry(),
                           std::int64_t{16384}, std::int64_t{20000}, std::int64_t{19997}})
        b->Arg(n);
    b->Unit(benchmark::kMillisecond);
}

// One curve of a million uneven samples: plan, resample, transform, amplitudes.
void BM_CurveSpectrum(benchmark::State& state) {
    const std::int32_t rows = 1000000;
    kurvex::RefPtr<kurvex::CResultVariable> x(kurvex::CResultVariable::Create(rows));
    kurvex::RefPtr<kurvex::CResultVariable> y(kurvex::CResultVariable::Create(rows));
    double t = 0.0;
    for (std::int32_t i = 0; i < rows; ++i) {
        t += 1e-6 * (1.0 + 0.5 * std::sin(0.01 * i));
        x->Values()[i] = t;
        y->Values()[i] = std::sin(2.0 * 3.14159 * 50.0 * t) + 0.2 * std::sin(0.3 * i);
        x->Flags()[i] = y->Flags()[i] = kurvex::kPointValid;
    }
    for (auto _ : state) {
        kurvex::FftPlan plan;
        kurvex::MakeFftPlan(*x, rows, x->Values()[0], t, plan);
        const kurvex::SpectrumResult r = kurvex::ComputeSpectrum(plan, *x, *y, rows, "y");
        benchmark::DoNotOptimize(r.spectrum.get());
        state.counters["N"] = plan.n;
    }
}

}  // namespace

BENCHMARK(BM_CurveSpectrum)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Kurvex)->Apply(Lengths);
#if KURVEX_BENCH_FFTW
BENCHMARK(BM_Fftw)->Apply(Lengths);
#endif

BENCHMARK_MAIN();
