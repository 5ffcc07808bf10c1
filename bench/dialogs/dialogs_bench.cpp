// Opening the Properties dialog on a file of many variables: from the
// constructor to the first painted frame, against a plain list widget filled
// the usual way, one item at a time.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QListWidget>
#include <string>

#include "../BenchQtMain.h"
#include "dialogs/CurvePropertiesDlg.h"

namespace {

using namespace kurvex;

// A data set of `count` variables after "Time", two rows each, names
// `length` characters long.
CResultDataRef ManyVariables(std::int32_t count, std::size_t length) {
    CResultDataRef d;
    d.Initialise(kDataSetPlain, count + 1, 2, 2);
    d.SetName(0, "Time");
    for (std::int32_t i = 1; i <= count; ++i) {
        std::string name = "V(node_" + std::to_string((i * 7919) % count) + ")";
        if (name.size() < length) name += std::string(length - name.size(), 'x');
        d.SetName(i, name.c_str());
    }
    std::vector<double> row(static_cast<std::size_t>(count) + 1, 1.0);
    std::vector<std::uint8_t> flags(row.size(), kPointValid);
    for (std::int32_t r = 0; r < 2; ++r) {
        row[0] = r;
        d.SetRow(r, row.data(), flags.data(), 0, -1);
    }
    d.UpdateExtents();
    return d;
}

void BM_OpenProperties(benchmark::State& state) {
    CGraphCurve screen;
    screen.SetData(ManyVariables(static_cast<std::int32_t>(state.range(0)),
                                 static_cast<std::size_t>(state.range(1))));
    for (auto _ : state) {
        auto* dlg = new CCurvePropertiesDlg(screen);
        dlg->show();
        QApplication::processEvents();
        benchmark::DoNotOptimize(dlg->isVisible());
        state.PauseTiming();
        delete dlg;
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenProperties)
    ->Args({10000, 12})
    ->Args({10000, 1000})
    ->Args({100, 12})
    ->Unit(benchmark::kMillisecond);

// The usual way: a QListWidget with its sorting on, filled item by item.
void BM_ListWidgetItemByItem(benchmark::State& state) {
    const CResultDataRef data = ManyVariables(static_cast<std::int32_t>(state.range(0)), 12);
    for (auto _ : state) {
        auto* list = new QListWidget;
        list->setSortingEnabled(true);
        for (std::int32_t i = 1; i < data->VariableCount(); ++i) {
            auto* item = new QListWidgetItem(QString::fromStdString(data->Variable(i)->Name()));
            item->setData(Qt::UserRole, i);
            list->addItem(item);
        }
        list->show();
        QApplication::processEvents();
        state.PauseTiming();
        delete list;
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ListWidgetItemByItem)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return RunQtBenchmarks(argc, argv);
}
