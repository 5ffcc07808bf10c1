// Opening the data-point table of a view of 3 curves × 10,000,000 samples and
// paging through it from the top to the bottom in 100 steps. The table holds
// the graph's columns by reference: opening costs the window, not the rows,
// and a page step costs the rows in view. Memory is the resident size the
// first opening added. Pages are drawn into an image of the window's size, as
// the window would draw them.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QScrollBar>
#include <cmath>
#include <fstream>
#include <memory>
#include <string>

#include "../BenchQtMain.h"
#include "graph/ViewLayout.h"
#include "table/BGridChildFrame.h"

namespace {

using namespace kurvex;

constexpr std::int32_t kRows = 10'000'000;

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

CResultDataRef MakeData() {
    CResultDataRef d;
    d.Initialise(kDataSetPlain, 4, kRows, 100);
    d.SetName(0, "Time");
    double v[4];
    const std::uint8_t f[4] = {kPointValid, kPointValid, kPointValid, kPointValid};
    for (std::int32_t r = 0; r < kRows; ++r) {
        v[0] = r * 1e-7;
        for (int c = 1; c < 4; ++c) v[c] = std::sin(r * 2e-5 * c);
        d.SetRow(r, v, f, 0, -1);
    }
    for (int c = 1; c < 4; ++c) d.SetName(c, ("V" + std::to_string(c)).c_str());
    d.UpdateExtents();
    return d;
}

// Three screens of one curve each, as a view holds them.
struct View {
    View() : data(MakeData()) {
        for (int c = 1; c < 4; ++c) {
            auto s = std::make_unique<CGraphCurve>(0);
            s->SetData(data);
            s->AddCurve(CCurveEntry::ForColumn(data, c));
            screens.push_back(s.get());
            own.push_back(std::move(s));
        }
    }
    CResultDataRef data;
    std::vector<std::unique_ptr<CGraphCurve>> own;
    std::vector<const CGraphCurve*> screens;
};

View& TheView() {
    static View view;
    return view;
}

void BM_OpenTable(benchmark::State& state) {
    View& view = TheView();
    long added = -1;
    for (auto _ : state) {
        const long before = ResidentKb();
        auto frame = std::make_unique<CBGridChildFrame>(view.screens, "run.txt", 1);
        frame->resize(frame->width(), 600);
        frame->show();
        QApplication::processEvents();
        QWidget* viewport = frame->Grid().viewport();
        QImage image(viewport->size(), QImage::Format_RGB32);
        viewport->render(&image);
        if (added < 0) added = ResidentKb() - before;
        state.PauseTiming();
        frame.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["added_MB"] = added / 1024.0;
}

void BM_PageStep(benchmark::State& state) {
    View& view = TheView();
    CBGridChildFrame frame(view.screens, "run.txt", 1);
    frame.resize(frame.width(), 600);
    frame.show();
    QApplication::processEvents();
    QScrollBar* bar = frame.Grid().verticalScrollBar();
    const int step = std::max(1, bar->maximum() / 100);
    QWidget* viewport = frame.Grid().viewport();
    // The page is drawn as the window would draw it, into an image of its size.
    QImage image(viewport->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        bar->setValue(bar->value() >= bar->maximum() ? 0 : bar->value() + step);
        viewport->render(&image);
    }
    state.counters["rows"] = frame.Grid().Data()->RowCount();
}

BENCHMARK(BM_OpenTable)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PageStep)->Unit(benchmark::kMillisecond)->Iterations(100);

}  // namespace

int main(int argc, char** argv) {
    return RunQtBenchmarks(
        argc, argv, [] { TheView(); });  // the samples are loaded before anything is measured
}
