// Printing a view of 3 screens × 10,000,000 samples to a PDF page, beside the
// peer: the PDF that `kurvex-cli render` writes of the same view (a 1600 × 900
// picture at 96 dots per inch through QPdfWriter, as its render command does).
// Counters give the file sizes; the printed page must stay under 2 MB.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTemporaryDir>
#include <cmath>
#include <memory>

#include "../BenchQtMain.h"
#include "app/ViewPrinting.h"
#include "controls/QPainterCanvas.h"
#include "graph/ViewLayout.h"
#include "graph/render/Renderer.h"

namespace {

using namespace kurvex;

constexpr std::int32_t kRows = 10'000'000;

CResultDataRef MakeData() {
    CResultDataRef d;
    d.Initialise(kDataSetPlain, 4, kRows, 100);
    d.SetName(0, "Time");
    double v[4];
    const std::uint8_t f[4] = {kPointValid, kPointValid, kPointValid, kPointValid};
    for (std::int32_t r = 0; r < kRows; ++r) {
        // Steps of a power of two are exact: X is equally spaced.
        v[0] = r * 0x1p-24;
        for (int c = 1; c < 4; ++c) v[c] = std::sin(r * 2e-5 * c) + 0.05 * std::sin(r * 0.7);
        d.SetRow(r, v, f, 0, -1);
    }
    for (int c = 1; c < 4; ++c) d.SetName(c, ("V" + std::to_string(c)).c_str());
    d.UpdateExtents();
    d->SetUniformX(CResultDataRef::UniformTest(d->Variable(0)->Values(), 0, kRows - 1));
    return d;
}

struct View {
    View() : data(MakeData()) {
        for (int c = 1; c < 4; ++c) {
            auto s = std::make_unique<CGraphCurve>(0);
            s->SetData(data);
            s->SetBottomScreen(c == 3);
            CCurveEntry curve = CCurveEntry::ForColumn(data, c);
            curve.colour = kNewCurvePalette[c - 1];
            s->AddCurve(curve);
            ScaleToData(*s);
            screens.push_back(s.get());
            own.push_back(std::move(s));
        }
    }
    CResultDataRef data;
    std::vector<std::unique_ptr<CGraphCurve>> own;
    std::vector<CGraphCurve*> screens;
};

View& TheView() {
    static View view;
    return view;
}

void BM_PrintPdf(benchmark::State& state) {
    View& view = TheView();
    QTemporaryDir dir;
    const QString path = dir.filePath("page.pdf");
    PrintJob job;
    job.screens = view.screens;
    job.documentName = "run.txt";
    for (auto _ : state) {
        if (!PrintToPdf(path, job)) state.SkipWithError("the PDF could not be written");
    }
    state.counters["pdf_MB"] = QFileInfo(path).size() / 1048576.0;
}

// What kurvex-cli render does for a .pdf target.
void BM_RenderPdf(benchmark::State& state) {
    View& view = TheView();
    QTemporaryDir dir;
    const QString path = dir.filePath("render.pdf");
    const int w = 1600, h = 900;
    for (auto _ : state) {
        QSaveFile file(path);
        file.open(QIODevice::WriteOnly);
        QPdfWriter pdf(&file);
        pdf.setResolution(96);
        pdf.setPageSize(QPageSize(QSizeF(w * 72.0 / 96.0, h * 72.0 / 96.0), QPageSize::Point));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        {
            QPainter painter(&pdf);
            QPainterCanvas canvas(painter);
            const auto places = LayoutScreens(static_cast<std::int32_t>(view.screens.size()), w, h,
                                              view.screens.front()->Metrics().textHeight, 0);
            for (size_t i = 0; i < view.screens.size(); ++i) {
                DrawOptions o;
                o.target = places[i];
                o.recordLegend = false;
                o.drawGrid = view.screens[i]->GridShown() != 0;
                DrawMemory memory;
                DrawScreen(*view.screens[i], canvas, o, memory);
            }
        }
        file.commit();
    }
    state.counters["pdf_MB"] = QFileInfo(path).size() / 1048576.0;
}

BENCHMARK(BM_PrintPdf)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RenderPdf)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
    return RunQtBenchmarks(argc, argv, [] { TheView(); });
}
