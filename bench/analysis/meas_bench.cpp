// A measurement script of 20 statements over 100 runs of 100,000 samples,
// beside the floor: building each distinct expression of the script once over
// every run. The script should stay within 3 times the floor.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "analysis/MeasScript.h"
#include "data/model/ResultData.h"
#include "formula/FormulaVariable.h"

namespace {

using namespace kurvex;

constexpr std::int32_t kRuns = 100;
constexpr std::int32_t kRows = 100'000;

// A buck converter's output voltage, inductor current and switch node; run k
// a little slower and with more ripple than run k - 1.
CResultDataRef MakeRun(std::int32_t k) {
    CResultDataRef d;
    d.Initialise(kDataSetPlain, 4, kRows, 100);
    const char* names[] = {"time", "V(out)", "I(L1)", "V(sw)"};
    for (std::int32_t c = 0; c < 4; ++c) d.SetName(c, names[c]);
    double* t = d->Variable(0)->Values();
    double* v = d->Variable(1)->Values();
    double* i = d->Variable(2)->Values();
    double* sw = d->Variable(3)->Values();
    const double tau = 1e-4 * (1 + 0.01 * k);
    for (std::int32_t r = 0; r < kRows; ++r) {
        t[r] = r * 1e-8 + (r % 3) * 1e-10;  // uneven steps
        const double phase = std::fmod(t[r], 1e-5) / 1e-5;
        v[r] = 5 * (1 - std::exp(-t[r] / tau)) + 0.05 * (1 + 0.01 * k) * std::sin(6.283 * phase);
        i[r] = 1 + (phase < 0.4 ? phase : 0.4 - (phase - 0.4) * 0.66);
        sw[r] = phase < 0.4 ? 12.0 : 0.0;
    }
    for (std::int32_t c = 0; c < 4; ++c)
        std::fill_n(d->Variable(c)->Flags(), kRows, std::uint8_t{kPointValid});
    {
        std::lock_guard<std::recursive_mutex> hold(d->Lock());
        d->SetRowCountLocked(kRows);
    }
    d.UpdateExtents();
    return d;
}

CResultDataRef& Data() {
    static CResultDataRef data = [] {
        CResultDataRef first = MakeRun(0);
        for (std::int32_t k = 1; k < kRuns; ++k)
            first->AddRun(MakeRun(k).Get(), "run " + std::to_string(k + 1));
        return first;
    }();
    return data;
}

const char* const kScript[] = {
    ".meas tran vavg AVG v(out) FROM=200u TO=900u",
    ".meas tran vrms RMS v(out) FROM=200u TO=900u",
    ".meas tran vmax MAX v(out)",
    ".meas tran vmin MIN v(out) FROM=100u",
    ".meas tran vpp PP v(out) FROM=500u",
    ".meas tran iavg AVG i(l1)",
    ".meas tran irms RMS i(l1)",
    ".meas tran ipp PP i(l1) FROM=500u",
    ".meas tran pin AVG v(sw)*i(l1)",
    ".meas tran pout AVG v(out)*i(l1)",
    ".meas tran ein INTEG v(sw)*i(l1)",
    ".meas tran trise TRIG v(out) VAL=0.5 RISE=1 TARG v(out) VAL=4.5 RISE=1",
    ".meas tran t50 WHEN v(out)=2.5 RISE=1",
    ".meas tran v300 FIND v(out) AT=300u",
    ".meas tran vsw FIND v(out) WHEN v(sw)=6 FALL=LAST",
    ".meas tran slope DERIV v(out) AT=100u",
    ".meas tran ton TRIG v(sw) VAL=6 RISE=10 TARG v(sw) VAL=6 FALL=10",
    ".meas tran tdead WHEN v(sw)=6 CROSS=LAST",
    ".meas tran eff PARAM='pout/pin'",
    ".meas tran ripple PARAM='vpp/vavg'",
};
// The distinct expressions of the script, as the formula engine names them.
const char* const kExpressions[] = {"V(out)", "I(L1)", "V(sw)", "V(sw)*I(L1)", "V(out)*I(L1)"};

void BM_Script(benchmark::State& state) {
    std::vector<MeasSourceLine> lines;
    for (const char* s : kScript) lines.push_back({static_cast<int>(lines.size()) + 1, s});
    MeasScript script;
    MeasSyntaxError error;
    if (!ParseMeasScript(lines, script, error)) {
        state.SkipWithError(error.message.c_str());
        return;
    }
    const CResultDataRef& data = Data();
    for (auto _ : state) {
        std::size_t failed = 0;
        for (std::int32_t k = 0; k < kRuns; ++k)
            for (const MeasValue& v : EvaluateMeasScript(script, data, k)) failed += !v.Ok();
        if (failed) state.SkipWithError("a measurement failed");
        benchmark::DoNotOptimize(failed);
    }
}
BENCHMARK(BM_Script)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_FloorEachExpressionOnce(benchmark::State& state) {
    const CResultDataRef& data = Data();
    for (auto _ : state) {
        for (std::int32_t k = 0; k < kRuns; ++k)
            for (const char* e : kExpressions) {
                FormulaBuildOptions options;
                options.run = k;
                options.workers = 1;
                FormulaBuild built = BuildFormulaVariable(data, e, options);
                benchmark::DoNotOptimize(built.variable);
            }
    }
}
BENCHMARK(BM_FloorEachExpressionOnce)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
