// The formula engine beside the same computation written as a plain loop, over
// a data set of 10 million rows. Each pair writes values and point flags into
// the same preallocated arrays; compare the times of a pair.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "formula/FormulaVariable.h"

namespace {

using namespace kurvex;

constexpr std::int32_t kRows = 10'000'000;
constexpr double kStep = 1e-6;

struct Fixture {
    CResultDataRef data;
    std::vector<double> values = std::vector<double>(kRows);
    std::vector<std::uint8_t> flags = std::vector<std::uint8_t>(kRows);

    Fixture() {
        data.Initialise(kDataSetPlain, 3, kRows, 100);
        data.SetName(0, "Time");
        data.SetName(1, "VA");
        data.SetName(2, "VB");
        const double last[3] = {0, 0, 0};
        const std::uint8_t valid[3] = {kPointValid, kPointValid, kPointValid};
        data.SetRow(kRows - 1, last, valid, 0, 3);  // sets the row count
        std::mt19937_64 random(1);
        std::uniform_real_distribution<double> u(-10, 10);
        for (std::int32_t i = 0; i < kRows; ++i) {
            data->Variable(0)->Values()[i] = i * kStep;
            data->Variable(1)->Values()[i] = u(random);
            data->Variable(2)->Values()[i] = u(random);
            for (int c = 0; c < 3; ++c) data->Variable(c)->Flags()[i] = kPointValid;
        }
    }
    const double* A() const { return data->Variable(1)->Values(); }
    const double* B() const { return data->Variable(2)->Values(); }
};

Fixture& Data() {
    static Fixture f;
    return f;
}

inline std::uint8_t Flag(double v) {
    return std::isnormal(v) || v == 0 ? kPointValid : kPointInvalid;
}

void Engine(benchmark::State& state, const char* text) {
    Fixture& f = Data();
    CFormula formula(kStep);
    if (!formula.Compile(text, {"Time", "VA", "VB"})) {
        state.SkipWithError("formula rejected");
        return;
    }
    formula.SetValueSource(DataSetValue, DataSetColumn);
    for (auto _ : state) {
        formula.EvaluateRange(&f.data, f.values.data(), f.flags.data(), 0, kRows);
        benchmark::DoNotOptimize(f.values.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void EngineSqrt(benchmark::State& state) {
    Engine(state, "SQRT(VA^2+VB^2)");
}
void EngineInt(benchmark::State& state) {
    Engine(state, "INT(VA*VB)");
}
void EngineAvg(benchmark::State& state) {
    Engine(state, "AVG(ABS(VA))");
}

void PlainSqrt(benchmark::State& state) {
    Fixture& f = Data();
    const double* a = f.A();
    const double* b = f.B();
    double* out = f.values.data();
    std::uint8_t* flags = f.flags.data();
    for (auto _ : state) {
        for (std::int32_t i = 0; i < kRows; ++i) {
            const double v = std::sqrt(a[i] * a[i] + b[i] * b[i]);
            out[i] = v;
            flags[i] = Flag(v);
        }
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void PlainInt(benchmark::State& state) {
    Fixture& f = Data();
    const double* a = f.A();
    const double* b = f.B();
    double* out = f.values.data();
    std::uint8_t* flags = f.flags.data();
    for (auto _ : state) {
        double sum = 0;
        for (std::int32_t i = 0; i < kRows; ++i) {
            sum += a[i] * b[i];
            const double v = sum * kStep;
            out[i] = v;
            flags[i] = Flag(v);
        }
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void PlainAvg(benchmark::State& state) {
    Fixture& f = Data();
    const double* a = f.A();
    double* out = f.values.data();
    std::uint8_t* flags = f.flags.data();
    for (auto _ : state) {
        double sum = 0;
        for (std::int32_t i = 0; i < kRows; ++i) {
            sum += std::fabs(a[i]);
            const double v = (sum * kStep) / ((i + 1.0) * kStep);
            out[i] = v;
            flags[i] = Flag(v);
        }
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

// The whole build: compile, a new variable of 10 million samples, extents.
void BuildVariable(benchmark::State& state) {
    Fixture& f = Data();
    for (auto _ : state) {
        FormulaBuild b = BuildFormulaVariable(f.data, "SQRT(VA^2+VB^2)");
        benchmark::DoNotOptimize(b.variable.get());
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

}  // namespace

BENCHMARK(EngineSqrt)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainSqrt)->Unit(benchmark::kMillisecond);
BENCHMARK(EngineInt)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainInt)->Unit(benchmark::kMillisecond);
BENCHMARK(EngineAvg)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainAvg)->Unit(benchmark::kMillisecond);
BENCHMARK(BuildVariable)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
