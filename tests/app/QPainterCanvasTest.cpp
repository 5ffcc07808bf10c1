#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPicture>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "controls/QPainterCanvas.h"
#include "formula/FormulaTestSupport.h"
#include "graph/render/Renderer.h"

namespace kurvex {
namespace {

constexpr Colour kRed = MakeColour(255, 0, 0);
constexpr Colour kBlue = MakeColour(0, 0, 255);

// A white image with a canvas on it.
struct Picture {
    explicit Picture(int w = 200, int h = 100) : image(w, h, QImage::Format_RGB32) {
        image.fill(Qt::white);
        painter.begin(&image);
        canvas = std::make_unique<QPainterCanvas>(painter);
    }
    QImage Done() {
        canvas.reset();
        painter.end();
        return image;
    }
    QImage image;
    QPainter painter;
    std::unique_ptr<QPainterCanvas> canvas;
};

int CountColour(const QImage& img, QColor c, const QRect& where) {
    int n = 0;
    for (int y = where.top(); y <= where.bottom(); ++y)
        for (int x = where.left(); x <= where.right(); ++x) n += img.pixelColor(x, y) == c;
    return n;
}

// Each case draws on a white picture; the pixels listed must then have their colours.
TEST(QPainterCanvas, ShapesColourTheirPixelsOnly) {
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255), white = qRgb(255, 255, 255);
    struct Pixel {
        int x, y;
        QRgb colour;
    };
    struct Case {
        const char* what;
        std::function<void(QPainterCanvas&)> draw;
        std::vector<Pixel> pixels;
    };
    const Case cases[] = {
        {"colours are BGR; rectangles leave out the right and bottom edges; empty ones nothing",
         [](QPainterCanvas& c) {
             c.FillRect({10, 10, 20, 30}, kRed);
             c.FillRect({50, 50, 40, 60}, kBlue);
         },
         {{10, 10, red}, {19, 29, red}, {20, 29, white}, {19, 30, white}, {45, 55, white}}},
        {"a star leaves its centre empty; an ellipse is filled",
         [](QPainterCanvas& c) {
             c.SetPen(PenStyle::Solid, 1, kRed);
             c.SetBrush(kRed);
             c.Polygon({{50, 10}, {70, 80}, {10, 40}, {90, 40}, {30, 80}});
             c.SetBrush(kBlue);
             c.Ellipse({120, 20, 180, 80});
         },
         {{150, 50, blue}, {50, 50, white}, {50, 20, red}}},
        {"clipped, then an offscreen picture blitted",
         [](QPainterCanvas& c) {
             const Rect clip{0, 0, 50, 50};
             c.SetClip(&clip);
             c.FillRect({0, 0, 100, 100}, kRed);
             c.SetClip(nullptr);
             auto off = c.MakeOffscreen({20, 20});
             ASSERT_NE(off, nullptr);
             off->FillRect({0, 0, 20, 20}, kBlue);
             c.Blit(*off, 150, 50);
             EXPECT_EQ(c.MakeOffscreen({0, 10}), nullptr);
         },
         {{49, 49, red}, {60, 60, white}, {160, 60, blue}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Picture p;
        c.draw(*p.canvas);
        const QImage img = p.Done();
        for (const Pixel& px : c.pixels)
            EXPECT_EQ(img.pixel(px.x, px.y), px.colour) << px.x << "," << px.y;
    }
}

TEST(QPainterCanvas, TextIsMeasuredAndDrawnInTheTextColourAlongOrUp) {
    Picture p(400, 300);
    CanvasFont font;
    font.height = 20;
    p.canvas->SelectFont(font);
    const Size extent = p.canvas->TextExtent("0123456789");
    EXPECT_GE(extent.cy, 20);
    p.canvas->SetTextColour(kBlue);
    p.canvas->SetTransparentText(true);
    p.canvas->TextOut(10, 10, "0123456789");
    const int oneLine = p.canvas->DrawWrappedText({0, 0, 400, 200}, "short", true);
    const int wrapped =
        p.canvas->DrawWrappedText({0, 0, 60, 200}, "several words that must wrap here", true);
    EXPECT_GT(wrapped, 2 * oneLine);
    // Turned, the cell covers x .. x + height and y - width .. y.
    p.canvas->TextOutTurned(250, 250, "0123456789");
    const QImage img = p.Done();
    const QColor blue(0, 0, 255);
    EXPECT_GT(CountColour(img, blue, QRect(10, 10, extent.cx, extent.cy)), 20);
    EXPECT_EQ(CountColour(img, blue, QRect(10 + extent.cx + 2, 0, 250 - 12 - extent.cx, 300)), 0);
    EXPECT_GT(CountColour(img, blue, QRect(250, 250 - extent.cx, extent.cy, extent.cx)), 50);
}

// On a printed page a dense curve's line from one column's run to the next
// column goes into the run: every inked point stays within one unit (a
// thousandth of an inch) of where each segment drawn on its own puts ink.
TEST(QPainterCanvas, PrintedDenseCurveStaysWithinAUnitOfItsSegments) {
    const size_t n = 100000;
    std::vector<double> x(n), y(n);
    for (size_t i = 0; i < n; ++i) {
        x[i] = static_cast<double>(i);
        y[i] = std::sin(static_cast<double>(i) * 2e-4) * 0.8 + ((i * 31) % 17) * 0.01;
        if (i % 997 == 0) y[i] = 2.0;  // beyond the top now and then
    }
    const CResultDataRef data = test::MakeData({"Time", "V"}, {x, y});
    QImage pictures[2];
    std::uint32_t bytes[2] = {};
    for (const bool printer : {false, true}) {
        CGraphCurve screen;
        screen.SetData(data);
        CCurveEntry curve = CCurveEntry::ForColumn(data, 1);
        curve.colour = kRed;
        screen.AddCurve(curve);
        screen.UpdateExtents();
        screen.SetXRange(1000, 90000, 0, {});
        screen.SetYRange(-1, 1, 0, {});
        // A picture records the painter's calls as a page would get them.
        QPicture page;
        {
            QPainter painter(&page);
            QPainterCanvas canvas(painter, printer);
            DrawOptions o;
            o.target = {0, 0, 700, 400};
            DrawMemory memory;
            DrawScreen(screen, canvas, o, memory);
        }
        bytes[printer] = page.size();
        QImage image(700, 400, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        page.play(&painter);
        painter.end();
        pictures[printer] = image;
    }
    auto near = [](const QImage& img, int px, int py, QRgb c) {
        for (int dx = -1; dx <= 1; ++dx)
            if (px + dx >= 0 && px + dx < img.width() && img.pixel(px + dx, py) == c) return true;
        return false;
    };
    int red = 0;
    for (int py = 0; py < 400; ++py) {
        for (int px = 0; px < 700; ++px) {
            const QRgb a = pictures[0].pixel(px, py), b = pictures[1].pixel(px, py);
            red += a == qRgb(255, 0, 0);
            if (a == b) continue;
            if (a != qRgb(255, 255, 255)) {
                EXPECT_TRUE(near(pictures[1], px, py, a)) << px << "," << py;
            }
            if (b != qRgb(255, 255, 255)) {
                EXPECT_TRUE(near(pictures[0], px, py, b)) << px << "," << py;
            }
        }
    }
    EXPECT_GT(red, 20000);
    // And the page holds well under what every segment on its own takes.
    EXPECT_LT(bytes[1], bytes[0] * 3 / 4);
}

// Thin lines may go straight into an image's pixels; they must give the
// pixels of the raster engine, drawn one by one, in every painter state.
TEST(QPainterCanvas, LinesIntoPixelsMatchTheRasterEngine) {
    std::vector<Point> ends;
    std::uint32_t seed = 7;
    auto next = [&seed](int lo, int hi) {
        seed = seed * 1664525u + 1013904223u;
        return lo + static_cast<int>((seed >> 8) % static_cast<std::uint32_t>(hi - lo + 1));
    };
    // Runs of one column, reversed, of one pixel, off the image; joins
    // between neighbouring columns over them and elsewhere; some long lines.
    for (int x = -2; x < 102; ++x) {
        const int top = next(-5, 60), bottom = next(top, 95);
        ends.push_back({x, x % 3 ? top : bottom});
        ends.push_back({x, x % 3 ? bottom : top});
        if (x % 7 == 0) ends.insert(ends.end(), {{x, top}, {x, top}});
        ends.push_back({x, next(top, bottom)});
        ends.push_back({x + 1, next(0, 90)});
    }
    for (int k = 0; k < 20; ++k)
        ends.insert(ends.end(),
                    {{next(-10, 110), next(-10, 110)}, {next(-10, 110), next(-10, 110)}});
    const Rect clip{10, 10, 80, 70};
    for (int state = 0; state < 5; ++state) {
        SCOPED_TRACE(state);
        QImage pictures[2];
        for (int shortcuts = 0; shortcuts < 2; ++shortcuts) {
            Picture p(100, 90);
            p.canvas->SetRasterShortcuts(shortcuts == 1);
            // Without them, each segment as LineTo draws it.
            p.canvas->SetPen(state == 3 ? PenStyle::Dot : PenStyle::Solid, state == 2 ? 3 : 1,
                             kBlue);
            if (state == 1) p.canvas->SetClip(&clip);
            if (state == 4) p.canvas->SetInchMapping(true);
            // Another curve's pixels under it, in the same colour and another.
            p.canvas->FillRect({30, 20, 40, 80}, kBlue);
            p.canvas->FillRect({50, 0, 52, 90}, kRed);
            p.canvas->Segments(ends);
            pictures[shortcuts] = p.Done();
        }
        EXPECT_EQ(pictures[1], pictures[0]);
        if (state != 4) {
            EXPECT_GT(CountColour(pictures[1], QColor(0, 0, 255), pictures[1].rect()), 1000);
        }
    }
}

}  // namespace
}  // namespace kurvex
