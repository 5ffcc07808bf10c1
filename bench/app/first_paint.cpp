// Starts the viewer on FILE as `kurvex FILE` does, on the offscreen platform,
// and exits at the first painted screen. Prints the seconds since the program
// started and the longest gap between the ticks of a 10 ms timer, from the
// open to that paint: how long the interface was ever kept waiting.
#include <QApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "../BenchSupport.h"
#include "app/GraphWnd.h"
#include "app/KurvexApp.h"

namespace {

QElapsedTimer g_clock;

// Notices the first paint of a screen and ends the program right after it.
class FirstPaint : public QObject {
public:
    qint64 paintedMs = -1;
    qint64 lastTickMs = 0;
    qint64 maxGapMs = 0;

    void Tick() {
        const qint64 now = g_clock.elapsed();
        maxGapMs = std::max(maxGapMs, now - lastTickMs);
        lastTickMs = now;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (paintedMs < 0 && event->type() == QEvent::Paint &&
            qobject_cast<kurvex::CGraphWnd*>(watched)) {
            // The paint runs after this filter; the zero timer fires once it is done.
            paintedMs = 0;
            QTimer::singleShot(0, qApp, [this] {
                paintedMs = g_clock.elapsed();
                Tick();
                QApplication::quit();
            });
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    g_clock.start();
    if (argc != 2) {
        std::fprintf(stderr, "usage: kurvex_first_paint FILE\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);  // the user's settings stay as they are
    FirstPaint watch;
    app.installEventFilter(&watch);
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] { watch.Tick(); });

    kurvex::CKurvexApp kurvex;
    const qint64 opened = g_clock.elapsed();
    watch.lastTickMs = opened;
    ticks.start(10);
    if (!kurvex.InitInstance({QString::fromLocal8Bit(argv[1])})) return 1;
    QTimer::singleShot(120000, &app, [] { QApplication::exit(1); });
    // A file shown while it was still being read was painted before the open returned.
    const int status = watch.paintedMs > 0 ? 0 : QApplication::exec();
    std::printf("first_paint_s %.3f\nopen_to_paint_s %.3f\nmax_gap_ms %lld\n",
                watch.paintedMs / 1000.0, (watch.paintedMs - opened) / 1000.0,
                static_cast<long long>(watch.maxGapMs));
    // Memory of the process's own, and pages of mapped files it shows (the page
    // cache's, which a mapped cache column brings in whole folios at a time).
    std::printf("rss_anon_mb %ld\nrss_file_mb %ld\n", StatusKb("RssAnon:") / 1024,
                StatusKb("RssFile:") / 1024);
    return status;
}
