// Interactive zoom on a view of three screens, each showing one curve of a
// 10,000,000-row file: 100 wheel steps alternating in and out about the centre
// of the top screen's plot, each timed from the wheel event until all three
// screens have painted again. Beside it the floor: one pass finding the
// minimum and maximum of the samples the three screens show, and the part of a
// step the screen spends outside drawing (the wheel handling), and the memory
// of the min/max summaries the drawing keeps beside the samples.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QStyle>
#include <QWheelEvent>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "../BenchQtMain.h"
#include "app/GraphWnd.h"
#include "data/model/ColumnSummary.h"
#include "graph/ViewLayout.h"

namespace {

using namespace kurvex;
using Clock = std::chrono::steady_clock;

constexpr std::int32_t kRows = 10'000'000;
constexpr int kCurves = 3;
constexpr int kSteps = 100;

CResultDataRef MakeData() {
    CResultDataRef d;
    d.Initialise(kDataSetPlain, 1 + kCurves, kRows, 100);
    d.SetName(0, "Time");
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> noise(-0.05, 0.05);
    std::vector<double> v(1 + kCurves);
    const std::vector<std::uint8_t> f(v.size(), kPointValid);
    for (std::int32_t r = 0; r < kRows; ++r) {
        // A step of a power of two is exact: X passes the equal-spacing test.
        v[0] = r * 0x1p-24;
        for (int c = 1; c <= kCurves; ++c) v[c] = std::sin(r * 2e-5 * c) + noise(rng);
        d.SetRow(r, v.data(), f.data(), 0, -1);
    }
    for (int c = 1; c <= kCurves; ++c) d.SetName(c, ("V" + std::to_string(c)).c_str());
    d.UpdateExtents();
    d->SetUniformX(CResultDataRef::UniformTest(d->Variable(0)->Values(), 0, kRows - 1));
    return d;
}

const CResultDataRef& Data() {
    static const CResultDataRef d = MakeData();
    return d;
}

// A 1600 x 900 view of three screens that keeps their X ranges in step, as
// the graph view does on a range change.
struct View {
    View() {
        frame.resize(1600, 900);
        const int bar = frame.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        const std::vector<PlotRect> places = LayoutScreens(kCurves, 1600, 900, 15, bar);
        for (int i = 0; i < kCurves; ++i) {
            auto record = std::make_unique<CGraphCurve>(0);
            record->SetData(Data());
            record->AddCurve(CCurveEntry::ForColumn(Data(), i + 1));
            ScaleToData(*record);
            auto* s = new CGraphWnd(&frame);
            s->SetIndex(i);
            s->SetRecord(std::move(record));
            s->SetBottom(i == kCurves - 1);
            const PlotRect& r = places[static_cast<std::size_t>(i)];
            s->setGeometry(r.left, r.top, r.Width(), r.Height());
            QObject::connect(s, &CGraphWnd::rangeChanged, [this](int from, bool) { Sync(from); });
            screens.push_back(s);
        }
        frame.show();
        QApplication::processEvents();
    }
    void Sync(int from) {
        const AxisRange x = screens[static_cast<std::size_t>(from)]->Record().XRange();
        RangeFlags keep;
        keep.setIncrement = true;
        keep.autoIncrement = false;
        for (CGraphWnd* s : screens) {
            if (s->Index() == from) continue;
            s->Record().SetXRange(x.from, x.to, x.increment, keep);
            s->UpdateScrollBars();
            s->Redraw();
        }
    }
    void PaintAll() {
        for (CGraphWnd* s : screens) s->repaint();
    }
    QWidget frame;
    std::vector<CGraphWnd*> screens;
};

// Smallest and largest of every curve over the rows the view shows.
void FloorPass(const View& view) {
    const CGraphCurve& m = view.screens[0]->Record();
    const double step = 0x1p-24;
    const auto first = static_cast<std::int32_t>(std::max(0.0, std::floor(m.XRange().from / step)));
    const auto last =
        static_cast<std::int32_t>(std::min<double>(kRows - 1, std::ceil(m.XRange().to / step)));
    for (int c = 1; c <= kCurves; ++c) {
        const double* y = Data()->Variable(c)->Values();
        double mn = y[first], mx = y[first];
        for (std::int32_t i = first + 1; i <= last; ++i) {
            mn = std::min(mn, y[i]);
            mx = std::max(mx, y[i]);
        }
        benchmark::DoNotOptimize(mn);
        benchmark::DoNotOptimize(mx);
    }
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

void BM_WheelRepaintThreeScreens(benchmark::State& state) {
    View view;
    CGraphWnd* top = view.screens[0];
    const PlotRect& p = top->Record().Plot();
    const QPointF centre((p.left + p.right) / 2.0, (p.top + p.bottom) / 2.0);
    std::vector<double> steps, floors, wheelOnly;
    for (auto _ : state) {
        steps.clear();
        floors.clear();
        for (int i = 0; i < kSteps; ++i) {
            const int delta = i % 2 == 0 ? -120 : 120;  // toward the user zooms in
            const auto t0 = Clock::now();
            QWheelEvent e(centre, top->mapToGlobal(centre), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(top, &e);
            const auto tw = Clock::now();
            view.PaintAll();
            wheelOnly.push_back(std::chrono::duration<double, std::milli>(tw - t0).count());
            const auto t1 = Clock::now();
            FloorPass(view);
            const auto t2 = Clock::now();
            steps.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
            floors.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
        }
    }
    state.counters["median_ms"] = Median(steps);
    state.counters["max_ms"] = *std::max_element(steps.begin(), steps.end());
    state.counters["floor_median_ms"] = Median(floors);
    state.counters["wheel_ms"] = Median(wheelOnly);
    // The min/max summaries the drawing built, against the samples they cover.
    double summary = 0;
    for (int c = 1; c <= kCurves; ++c)
        if (const auto s = Data().Summary(c)) summary += static_cast<double>(s->Bytes());
    state.counters["summary_pct"] = 100.0 * summary / (kCurves * kRows * (sizeof(double) + 1.0));
}

BENCHMARK(BM_WheelRepaintThreeScreens)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    return RunQtBenchmarks(argc, argv);
}
