#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QTemporaryDir>
#include <cmath>

#include "app/ClipboardPicture.h"
#include "app/ViewPrinting.h"
#include "controls/QPainterCanvas.h"
#include "formula/FormulaTestSupport.h"
#include "graph/Annotations.h"
#include "graph/PageGeometry.h"
#include "graph/ViewLayout.h"
#include "graph/render/Renderer.h"

namespace kurvex {
namespace {

// A view of `n` screens, one sine each, scaled to their data.
struct View {
    explicit View(int n) {
        std::vector<std::string> names{"Time"};
        std::vector<std::vector<double>> columns{test::Ramp(200, 0.01)};
        for (int i = 0; i < n; ++i) {
            names.push_back("V" + std::to_string(i + 1));
            std::vector<double> v(200);
            for (size_t k = 0; k < v.size(); ++k) v[k] = std::sin(0.1 * k + i);
            columns.push_back(v);
        }
        data = test::MakeData(names, columns);
        for (int i = 0; i < n; ++i) {
            auto s = std::make_unique<CGraphCurve>(0);
            s->SetData(data);
            s->SetMetrics({75, 15});
            s->SetBottomScreen(i == n - 1);
            CCurveEntry c = CCurveEntry::ForColumn(data, i + 1);
            c.colour = MakeColour(255, 0, 0);
            s->AddCurve(c);
            ScaleToData(*s);
            s->SetPlot({1, 2, 3, 4});  // where the window last drew it
            screens.push_back(std::move(s));
        }
    }
    std::vector<CGraphCurve*> Screens() const {
        std::vector<CGraphCurve*> out;
        for (const auto& s : screens) out.push_back(s.get());
        return out;
    }
    CResultDataRef data;
    std::vector<std::unique_ptr<CGraphCurve>> screens;
};

bool Dark(QRgb p) {
    return qGray(p) < 64;
}

// Rows of `image` where more than half of [left, right) is dark, grouped into
// runs of touching rows; the first row of each run.
std::vector<int> FrameRows(const QImage& image, int left, int right) {
    std::vector<int> rows;
    int previous = -2;
    for (int y = 0; y < image.height(); ++y) {
        int dark = 0;
        for (int x = left; x < right; ++x) dark += Dark(image.pixel(x, y));
        if (dark * 2 > right - left) {
            if (y != previous + 1) rows.push_back(y);
            previous = y;
        }
    }
    return rows;
}

bool InkIn(const QImage& image, const QRect& r) {
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (Dark(image.pixel(x, y))) return true;
    return false;
}

TEST(ViewPrinting, ThePageKeepsItsMarginsAndPutsTheTitleAboveTheScreens) {
    View view(3);
    // An 8.5 × 11 inch page at 100 dots per inch: default margins leave
    // pixels 100 .. 750 across and 100 .. 1000 down.
    const int dpi = 100;
    const QRect graph(100, 100, 650, 900);
    const CanvasFont font = ToCanvasFont(view.screens.back()->Font(), 10);
    const int units = QFontMetrics(QPainterCanvas::ToQFont(font)).height();  // thousandths
    std::tm now{};
    now.tm_year = 124;
    now.tm_hour = 9;

    for (const bool noTitle : {false, true}) {
        QImage page(850, 1100, QImage::Format_RGB32);
        page.setDotsPerMeterX(static_cast<int>(std::lround(dpi / 0.0254)));
        page.setDotsPerMeterY(static_cast<int>(std::lround(dpi / 0.0254)));
        page.fill(Qt::white);
        PrintJob job;
        job.screens = view.Screens();
        job.documentName = "run1.txt";
        job.noTitle = noTitle;
        {
            QPainter painter(&page);
            DrawViewPage(painter, page, job, now, 96, 96);
        }
        // Nothing beyond the margins.
        EXPECT_FALSE(InkIn(page, QRect(0, 0, 850, 98)));
        EXPECT_FALSE(InkIn(page, QRect(0, 1002, 850, 98)));
        EXPECT_FALSE(InkIn(page, QRect(0, 0, 98, 1100)));
        EXPECT_FALSE(InkIn(page, QRect(752, 0, 98, 1100)));
        // Three screens, each framed top and bottom, the first 2 lines below
        // where the screens start.
        const std::vector<int> frames = FrameRows(page, graph.left(), graph.right());
        ASSERT_EQ(frames.size(), 6u) << noTitle;
        const int screensTop = graph.top() + (noTitle ? 0 : 3 * units * dpi / 1000);
        EXPECT_NEAR(frames[0], screensTop + 2 * units * dpi / 1000, 1) << noTitle;
        // The window's plot rectangles are as the window left them.
        for (const auto& s : view.screens) EXPECT_EQ(s->Plot(), (PlotRect{1, 2, 3, 4}));
    }
}

TEST(ViewPrinting, PdfNeedsNoPrinterAndRefusesAMissingFolder) {
    View view(2);
    PrintJob job;
    job.screens = view.Screens();
    job.printTitle = std::string(10000, 'T');  // cut at the page's edge
    QTemporaryDir dir;
    const QString path = dir.filePath("view.pdf");
    QString error;
    ASSERT_TRUE(PrintToPdf(path, job, &error)) << error.toStdString();
    QFile pdf(path);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5) == "%PDF-");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);  // no temporary left

    const QString missing = dir.filePath("no/such/folder/view.pdf");
    EXPECT_FALSE(PrintToPdf(missing, job, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(ClipboardPicture, ThreeScreensAreStackedWithTheLastTakingTheRest) {
    View view(3);
    const QSize size(600, 600);
    const QImage image = ScreensImage(view.Screens(), size, 15);
    ASSERT_EQ(image.size(), size);
    const std::vector<Rect> places = SplitScreens({0, 0, 600, 600}, 3, 45);
    for (int i = 0; i < 3; ++i) {
        const CGraphCurve& s = *view.screens[static_cast<size_t>(i)];
        const PlotRect plot = PlotRectangle(0, true, s.BottomScreen() != 0, places[i], s.Metrics());
        // The frame's top and bottom edges, and the red curve inside.
        const std::vector<int> frames = FrameRows(image, plot.left + 1, plot.right - 1);
        EXPECT_NE(std::find(frames.begin(), frames.end(), plot.top), frames.end()) << i;
        EXPECT_NE(std::find(frames.begin(), frames.end(), plot.bottom), frames.end()) << i;
        int red = 0;
        for (int y = plot.top; y < plot.bottom; ++y)
            for (int x = plot.left; x < plot.right; ++x)
                red += image.pixel(x, y) == qRgb(255, 0, 0);
        EXPECT_GT(red, 100) << i;
    }
    EXPECT_TRUE(ScreensImage({}, size, 15).isNull());
    EXPECT_TRUE(ScreensImage(view.Screens(), QSize(0, 10), 15).isNull());
}

TEST(ClipboardPicture, BothFormsReadBackFromTheClipboard) {
    View view(2);
    QClipboard* clipboard = QApplication::clipboard();
    ASSERT_TRUE(CopyBitmap(view.Screens(), QSize(500, 400), 17, 15, clipboard));
    EXPECT_EQ(clipboard->image().size(), QSize(483, 383));

    ASSERT_TRUE(CopyMetafile(view.Screens(), QSize(500, 400), 15, clipboard));
    const QMimeData* mime = clipboard->mimeData();
    ASSERT_NE(mime, nullptr);
    ASSERT_TRUE(mime->hasFormat(kSvgMime));
    const QByteArray svg = mime->data(kSvgMime);
    EXPECT_TRUE(svg.contains("#ff0000"));  // the curve's colour, red first
    EXPECT_TRUE(mime->hasImage());
    EXPECT_EQ(qvariant_cast<QImage>(mime->imageData()).size(), QSize(500, 400));
}

TEST(ClipboardPicture, ASelectedLineIsCopiedWithoutItsHandlesAndKeepsItsWindowPixels) {
    View view(1);
    CGraphCurve& screen = *view.screens[0];
    auto owned = std::make_unique<CGraphLine>();
    owned->SetFirst(0.5, 0.0);
    owned->SetSecond(1.5, 0.0);
    auto* line = static_cast<CGraphLine*>(screen.AddAnnotation(std::move(owned)));
    screen.AnnotationSelection() = {line};
    // Drawn once on a "window" of its own size, as the screen does.
    QImage window(300, 200, QImage::Format_RGB32);
    {
        QPainter painter(&window);
        QPainterCanvas canvas(painter);
        DrawOptions o;
        o.target = {0, 0, 300, 200};
        DrawMemory memory;
        DrawScreen(screen, canvas, o, memory);
    }
    const Point first = line->PixelFirst(), second = line->PixelSecond();
    const PlotRect windowPlot = screen.Plot();

    const QSize size(600, 400);
    const QImage image = ScreensImage(view.Screens(), size, 15);
    const PlotRect plot = PlotRectangle(0, true, true, {0, 0, 600, 400}, screen.Metrics());
    const PixelMap map(plot, screen.XRange(), screen.YRange());
    const Point a = map.ToPixel(0.5, 0.0), b = map.ToPixel(1.5, 0.0);
    EXPECT_TRUE(InkIn(image, QRect((a.x + b.x) / 2, a.y, 1, 1)));
    // A handle would make the 5 x 5 box around an end all ink.
    int ink = 0;
    for (int y = a.y - 2; y <= a.y + 2; ++y)
        for (int x = a.x - 2; x <= a.x + 2; ++x) ink += Dark(image.pixel(x, y));
    EXPECT_LT(ink, 25);
    // The window's hit tests still see the line where the window drew it.
    EXPECT_EQ(line->PixelFirst(), first);
    EXPECT_EQ(line->PixelSecond(), second);
    EXPECT_EQ(screen.Plot(), windowPlot);
}

}  // namespace
}  // namespace kurvex
