// A watched reload as a simulator causes it: the viewer shows a result of
// 1,000,000 rows and 8 columns (two screens of curves) on the offscreen
// platform, and a thread of this program rewrites the file in place with the
// next run, several times. For each run it prints the seconds from the end of
// the write (the file's last change) to the first repainted screen showing
// the new data (goal: under 1 s, 300 ms of it the settling wait), and the
// longest gap between the ticks of a 10 ms timer from the start of the write
// to that paint: how long the interface was ever kept waiting.
//
// Usage: kurvex_watched_reload [FOLDER] [RUNS]
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "app/GraphDocument.h"
#include "app/GraphView.h"
#include "app/GraphWnd.h"
#include "app/KurvexApp.h"
#include "app/MainFrame.h"

namespace {

constexpr int kRows = 1000000;
constexpr int kColumns = 8;

QElapsedTimer g_clock;

// The text of run `run`: Time and seven waveforms whose amplitude changes per run.
std::string RunText(int run) {
    std::string text = "Time V1 V2 V3 I1 I2 I3 P\n";
    text.reserve(static_cast<size_t>(kRows) * kColumns * 14);
    char line[256];
    const double a = 1.0 + 0.1 * run;
    for (int r = 0; r < kRows; ++r) {
        const double t = r * 1e-7;
        const int n =
            std::snprintf(line, sizeof line, "%.7E %.6E %.6E %.6E %.6E %.6E %.6E %.6E\n", t,
                          a * std::sin(r * 1e-4), a * std::cos(r * 1e-4), std::sin(r * 3e-4),
                          0.5 * a * std::sin(r * 2e-4), std::cos(r * 5e-5), 0.1 * r * 1e-6, a * a);
        text.append(line, static_cast<size_t>(n));
    }
    return text;
}

// Watches paints and ticks.
class Probe : public QObject {
public:
    qint64 lastTick = 0;
    qint64 maxGap = 0;
    bool armed = false;   // a paint of new data is awaited
    qint64 painted = -1;  // when it was done
    const kurvex::CResultData* old = nullptr;
    kurvex::COhmixGraphView* view = nullptr;

    void Tick() {
        const qint64 now = g_clock.elapsed();
        maxGap = std::max(maxGap, now - lastTick);
        lastTick = now;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (armed && event->type() == QEvent::Paint && qobject_cast<kurvex::CGraphWnd*>(watched) &&
            view && view->Screen(0)->Record().Data().Get() != old) {
            armed = false;
            // The paint runs after this filter; the zero timer fires once it is done.
            QTimer::singleShot(0, qApp, [this] { painted = g_clock.elapsed(); });
        }
        return false;
    }
};

bool WriteFile(const std::string& path, const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    g_clock.start();
    const QString folder =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/kurvex-bench");
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);  // the user's settings stay as they are
    QDir().mkpath(folder);
    const std::string path =
        QDir(folder).filePath(QStringLiteral("watched_1000000x8.txt")).toStdString();
    const std::string ini =
        QDir(folder).filePath(QStringLiteral("watched_1000000x8.ini")).toStdString();
    std::fprintf(stderr, "preparing %d runs of %d x %d ...\n", runs + 1, kRows, kColumns);
    std::vector<std::string> texts;
    for (int i = 0; i <= runs; ++i) texts.push_back(RunText(i));
    if (!WriteFile(path, texts[0]) ||
        !WriteFile(ini,
                   "[Main]\nNumScreen=2\n[Screen0]\nCurveCount=4\nCurve_0_Formula=V1\n"
                   "Curve_1_Formula=V2\nCurve_2_Formula=V3\nCurve_3_Formula=P\n[Screen1]\n"
                   "CurveCount=3\nCurve_0_Formula=I1\nCurve_1_Formula=I2\n"
                   "Curve_2_Formula=I3\n")) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }

    Probe probe;
    app.installEventFilter(&probe);
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] { probe.Tick(); });
    ticks.start(10);
    kurvex::CKurvexApp kurvex;
    if (!kurvex.InitInstance({QString::fromStdString(path)})) return 1;
    probe.view = kurvex.Frame()->ActiveView();
    if (!probe.view || probe.view->ScreenCount() != 2) {
        std::fprintf(stderr, "the result did not open in two screens\n");
        return 1;
    }
    QTimer::singleShot(600000, &app, [] { QApplication::exit(1); });

    std::vector<double> latency, gaps;
    for (int run = 1; run <= runs; ++run) {
        // Let the window settle, then rewrite the file from a thread of its own.
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < 1500) QApplication::processEvents(QEventLoop::AllEvents, 50);
        probe.old = probe.view->Screen(0)->Record().Data().Get();
        probe.painted = -1;
        probe.armed = true;
        probe.lastTick = g_clock.elapsed();
        probe.maxGap = 0;
        std::atomic<qint64> written{-1};
        std::thread writer([&] {
            if (WriteFile(path, texts[static_cast<size_t>(run)])) written = g_clock.elapsed();
        });
        while (probe.painted < 0 && g_clock.elapsed() < 600000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        writer.join();
        if (written < 0) return 1;
        latency.push_back((probe.painted - written) / 1000.0);
        gaps.push_back(static_cast<double>(probe.maxGap));
        std::printf("run %d: last change to repaint %.3f s, longest wait %lld ms\n", run,
                    latency.back(), static_cast<long long>(probe.maxGap));
    }
    const auto [lo, hi] = std::minmax_element(latency.begin(), latency.end());
    const auto [glo, ghi] = std::minmax_element(gaps.begin(), gaps.end());
    std::printf(
        "watched reload, last change to repaint: best %.3f s, spread %.3f s (goal: under 1 s)\n",
        *lo, *hi - *lo);
    std::printf("longest wait between 10 ms ticks: best %.0f ms, worst %.0f ms\n", *glo, *ghi);
    return 0;
}
