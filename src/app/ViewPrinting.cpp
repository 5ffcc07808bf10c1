#include "app/ViewPrinting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>
#include <QTemporaryFile>
#include <cstdio>
#include <memory>

#include "app/ScreenOutput.h"
#include "controls/QPainterCanvas.h"
#include "data/platform/NameText.h"
#include "graph/PlotGeometry.h"

namespace kurvex {

namespace {

void ZeroMargins(QPrinter& printer) {
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Inch);
}

std::tm LocalNow() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    return local;
}

void ScreenDpi(int& x, int& y) {
    x = y = 96;
    if (const QScreen* s = QGuiApplication::primaryScreen()) {
        x = static_cast<int>(s->logicalDotsPerInchX() + 0.5);
        y = static_cast<int>(s->logicalDotsPerInchY() + 0.5);
    }
}

}  // namespace

QPrinter& ApplicationPrinter() {
    static std::unique_ptr<QPrinter> printer;
    if (!printer) {
        printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        ZeroMargins(*printer);
    }
    return *printer;
}

QSizeF PrintableInches(QPrinter& printer) {
    ZeroMargins(printer);
    return printer.pageLayout().paintRect(QPageLayout::Inch).size();
}

void DrawViewPage(QPainter& painter, const QPaintDevice& device, const PrintJob& job,
                  const std::tm& now, int screenDpiX, int screenDpiY) {
    if (job.screens.empty()) return;
    const PageLayout page =
        LayoutPage(PageThousandths(device.width(), device.logicalDpiX()),
                   PageThousandths(device.height(), device.logicalDpiY()), job.margins);
    QPainterCanvas canvas(painter, true);
    canvas.SetInchMapping(true);
    const int scale = PrintScaleFactor(screenDpiX, screenDpiY);

    const CGraphCurve& last = *job.screens.back();
    canvas.SelectFont(ToCanvasFont(last.Font(), scale));
    const Size digits = canvas.TextExtent("0123456789");
    const CharMetrics metrics{digits.cx, digits.cy};
    const TitleBlock block = LayoutTitle(page.graph, metrics.textHeight, job.noTitle);
    if (block.shown) {
        canvas.SetTextColour(last.BlackWhite() ? kRgbBlack : last.Foreground());
        canvas.SetTransparentText(true);
        // A title longer than the page is cut at the graph's edge.
        canvas.SetClip(&page.graph);
        canvas.TextOut(block.title.left, block.title.top,
                       DisplayName(PrintTitleText(job.printTitle, job.documentName)));
        const std::string date = PrintDateLine(now);
        canvas.TextOut(block.date.right - canvas.TextExtent(date).cx, block.date.top, date);
        canvas.SetClip(nullptr);
    }
    const auto count = static_cast<std::int32_t>(job.screens.size());
    OutputDraw how;
    how.scale = scale;
    how.printing = true;
    how.metrics = &metrics;
    DrawScreensAt(canvas, job.screens, SplitScreens(block.screens, count, 0), how);
}

bool PrintView(QPrinter& printer, const PrintJob& job) {
    ZeroMargins(printer);
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    int dpiX = 96, dpiY = 96;
    ScreenDpi(dpiX, dpiY);
    DrawViewPage(painter, printer, job, LocalNow(), dpiX, dpiY);
    return painter.end();
}

bool PrintWithDialog(QWidget* parent, const PrintJob& job) {
    QPrinter& printer = ApplicationPrinter();
    QPrintDialog dialog(&printer, parent);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    if (dialog.exec() != QDialog::Accepted) return false;
    return PrintView(printer, job);
}

void PrintPreview(QWidget* parent, const PrintJob& job) {
    QPrinter& printer = ApplicationPrinter();
    ZeroMargins(printer);
    QPrintPreviewDialog preview(&printer, parent);
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview, [&job](QPrinter* p) {
        ZeroMargins(*p);
        QPainter painter(p);
        int dpiX = 96, dpiY = 96;
        ScreenDpi(dpiX, dpiY);
        DrawViewPage(painter, *p, job, LocalNow(), dpiX, dpiY);
    });
    preview.exec();
}

bool PrintSetup(QWidget* parent) {
    QPrinter& printer = ApplicationPrinter();
    QPageSetupDialog dialog(&printer, parent);
    const bool ok = dialog.exec() == QDialog::Accepted;
    ZeroMargins(printer);
    return ok;
}

bool PrintToPdf(const QString& path, const PrintJob& job, QString* error) {
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    const QFileInfo target(path);
    if (!target.dir().exists())
        return fail(QObject::tr("The folder of %1 does not exist.").arg(path));
    // The page is written beside the target and put in its place when whole.
    QTemporaryFile part(target.dir().filePath(target.fileName() + QStringLiteral(".XXXXXX")));
    if (!part.open()) return fail(QObject::tr("Cannot write %1: %2").arg(path, part.errorString()));
    part.close();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageLayout(ApplicationPrinter().pageLayout());
    printer.setOutputFileName(part.fileName());
    if (!PrintView(printer, job)) return fail(QObject::tr("Cannot write %1.").arg(path));
    // rename() replaces an old file in one step.
    if (std::rename(QFile::encodeName(part.fileName()).constData(),
                    QFile::encodeName(path).constData()) != 0)
        return fail(QObject::tr("Cannot write %1.").arg(path));
    part.setAutoRemove(false);
    return true;
}

}  // namespace kurvex
