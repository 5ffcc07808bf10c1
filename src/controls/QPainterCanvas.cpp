#include "controls/QPainterCanvas.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainterPath>
#include <QPen>
#include <QPolygon>
#include <algorithm>

#include "controls/QtColour.h"

namespace kurvex {

namespace {

QPolygon ToQPolygon(const std::vector<Point>& points) {
    QPolygon poly(static_cast<int>(points.size()));
    for (size_t i = 0; i < points.size(); ++i)
        poly.setPoint(static_cast<int>(i), points[i].x, points[i].y);
    return poly;
}

}  // namespace

// An off-screen canvas keeps its image and painter together.
struct QPainterCanvas::Offscreen {
    QImage image;
    QPainter painter;
};

QPainterCanvas::QPainterCanvas(QPainter& painter, bool printer)
    : painter_(painter), printer_(printer) {
    painter_.setRenderHint(QPainter::Antialiasing, false);
    painter_.setRenderHint(QPainter::TextAntialiasing, true);
    painter_.setBrush(Qt::NoBrush);
}

QPainterCanvas::~QPainterCanvas() {
    if (own_) own_->painter.end();
}

QFont QPainterCanvas::ToQFont(const CanvasFont& font) {
    QFont f(QString::fromStdString(font.face));
    f.setPixelSize(std::max(1, font.height));
    f.setWeight(
        static_cast<QFont::Weight>(std::clamp(font.weight <= 0 ? 400 : font.weight, 100, 900)));
    f.setItalic(font.italic);
    return f;
}

void QPainterCanvas::FillRect(const Rect& r, Colour c) {
    if (r.Empty()) return;
    painter_.fillRect(QRect(r.left, r.top, r.Width(), r.Height()), ToQColor(c));
}

void QPainterCanvas::SetTextColour(Colour c) {
    text_ = ToQColor(c);
}

void QPainterCanvas::SetBackgroundColour(Colour c) {
    background_ = ToQColor(c);
}

void QPainterCanvas::SetTransparentText(bool transparent) {
    transparent_ = transparent;
}

void QPainterCanvas::SelectFont(const CanvasFont& font) {
    painter_.setFont(ToQFont(font));
}

void QPainterCanvas::TextOut(int x, int y, const std::string& text) {
    const QString s = QString::fromStdString(text);
    const QFontMetrics m(painter_.font(), painter_.device());
    if (!transparent_)
        painter_.fillRect(QRect(x, y, m.horizontalAdvance(s), m.height()), background_);
    const QPen pen = painter_.pen();
    painter_.setPen(text_);
    painter_.drawText(QPoint(x, y + m.ascent()), s);
    painter_.setPen(pen);
}

void QPainterCanvas::TextOutTurned(int x, int y, const std::string& text) {
    const QFontMetrics m(painter_.font(), painter_.device());
    painter_.save();
    painter_.translate(x, y);
    painter_.rotate(-90);
    painter_.setPen(text_);
    painter_.drawText(QPoint(0, m.ascent()), QString::fromStdString(text));
    painter_.restore();
}

Size QPainterCanvas::TextExtent(const std::string& text) {
    const QFontMetrics m(painter_.font(), painter_.device());
    return {m.horizontalAdvance(QString::fromStdString(text)), m.height()};
}

int QPainterCanvas::DrawWrappedText(const Rect& r, const std::string& text, bool measureOnly) {
    const QRect box(r.left, r.top, std::max(0, r.Width()), std::max(0, r.Height()));
    const int flags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;
    const QString s = QString::fromStdString(text);
    const QRect needed = painter_.boundingRect(box, flags, s);
    if (!measureOnly) {
        const QPen pen = painter_.pen();
        painter_.setPen(text_);
        painter_.drawText(box, flags, s);
        painter_.setPen(pen);
    }
    return needed.height();
}

void QPainterCanvas::SetPen(PenStyle style, int width, Colour c) {
    QPen pen(ToQColor(c));
    pen.setWidth(std::max(1, width));
    pen.setStyle(style == PenStyle::Dot       ? Qt::DotLine
                 : style == PenStyle::DashDot ? Qt::DashDotLine
                                              : Qt::SolidLine);
    pen.setCapStyle(width > 1 ? Qt::RoundCap : Qt::FlatCap);
    pen.setJoinStyle(Qt::RoundJoin);
    painter_.setPen(pen);
}

void QPainterCanvas::SetBrush(Colour c) {
    painter_.setBrush(ToQColor(c));
}

void QPainterCanvas::MoveTo(int x, int y) {
    current_ = QPoint(x, y);
}

void QPainterCanvas::LineTo(int x, int y) {
    const QPoint to(x, y);
    painter_.drawLine(current_, to);
    current_ = to;
}

QImage* QPainterCanvas::PixelTarget() const {
    if (!rasterShortcuts_) return nullptr;
    QPaintDevice* device = painter_.device();
    if (!device || device->devType() != QInternal::Image) return nullptr;
    auto* image = static_cast<QImage*>(device);
    const QImage::Format f = image->format();
    if (f != QImage::Format_RGB32 && f != QImage::Format_ARGB32 &&
        f != QImage::Format_ARGB32_Premultiplied)
        return nullptr;
    const QPen& pen = painter_.pen();
    if (painter_.deviceTransform().type() != QTransform::TxNone || painter_.hasClipping() ||
        painter_.testRenderHint(QPainter::Antialiasing) || painter_.opacity() != 1.0 ||
        painter_.compositionMode() != QPainter::CompositionMode_SourceOver ||
        pen.style() != Qt::SolidLine || pen.widthF() > 1.0 ||
        pen.brush().style() != Qt::SolidPattern || pen.color().alpha() != 255)
        return nullptr;
    return image;
}

namespace {

// Whether every pixel of the box spanned by a and b has colour `ink`; false
// when part of it lies off the image.
bool BoxIsInk(const QImage& image, Point a, Point b, QRgb ink) {
    const int x0 = std::min(a.x, b.x), x1 = std::max(a.x, b.x);
    const int y0 = std::min(a.y, b.y), y1 = std::max(a.y, b.y);
    if (x0 < 0 || y0 < 0 || x1 >= image.width() || y1 >= image.height()) return false;
    for (int y = y0; y <= y1; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = x0; x <= x1; ++x) {
            if (row[x] != ink) return false;
        }
    }
    return true;
}

// The segments as one path for a printed page. A line from a vertical
// line's span to the next column, where a dense curve joins one column's run
// to the next, becomes part of that vertical line: a thousandth of an inch
// to the left, and half of what the page has to hold.
QPainterPath PrintedPath(const std::vector<Point>& ends) {
    QPainterPath path;
    bool open = false;  // a vertical line waits to be added
    int x = 0, lo = 0, hi = 0;
    auto close = [&]() {
        if (!open) return;
        path.moveTo(x, lo);
        path.lineTo(x, hi);
        open = false;
    };
    for (size_t i = 0; i + 1 < ends.size(); i += 2) {
        const Point a = ends[i], b = ends[i + 1];
        if (a.x == b.x) {
            close();
            open = true;
            x = a.x;
            lo = std::min(a.y, b.y);
            hi = std::max(a.y, b.y);
        } else if (open && a.x == x && std::abs(b.x - a.x) == 1 && a.y >= lo && a.y <= hi) {
            lo = std::min(lo, b.y);
            hi = std::max(hi, b.y);
        } else {
            close();
            path.moveTo(a.x, a.y);
            path.lineTo(b.x, b.y);
        }
    }
    close();
    return path;
}

}  // namespace

void QPainterCanvas::Segments(const std::vector<Point>& ends) {
    if (ends.size() < 2) return;
    // Each segment as LineTo draws it: the raster engine paints lines drawn
    // in one call differently where one begins at the end of another.
    QImage* image = PixelTarget();
    if (!image) {
        if (printer_) {
            painter_.strokePath(PrintedPath(ends), painter_.pen());
        } else {
            for (size_t i = 0; i + 1 < ends.size(); i += 2)
                painter_.drawLine(ends[i].x, ends[i].y, ends[i + 1].x, ends[i + 1].y);
        }
        current_ = QPoint(ends.back().x, ends.back().y);
        return;
    }
    // A thin solid vertical line on an image is a run of pixels of one
    // column: rows min(y0, y1) .. max(y0, y1) - 1, or the one row when both
    // are equal, as the raster engine paints it. Written straight into the
    // image, a dense curve's thousands of column runs cost their pixels.
    const QRgb ink = painter_.pen().color().rgba();
    const qsizetype stride = image->bytesPerLine();
    // constBits: no detach of the image the painter is drawing on.
    auto* bits = const_cast<uchar*>(image->constBits());
    for (size_t i = 0; i + 1 < ends.size(); i += 2) {
        const Point a = ends[i], b = ends[i + 1];
        if (a.x != b.x || a.x < 0 || a.x >= image->width()) continue;
        const int from = std::max(std::min(a.y, b.y), 0);
        const int to = std::min(a.y == b.y ? a.y + 1 : std::max(a.y, b.y), image->height());
        uchar* row = bits + from * stride + a.x * 4;
        for (int y = from; y < to; ++y, row += stride) *reinterpret_cast<QRgb*>(row) = ink;
    }
    // A thin line paints only inside the box of its ends, so one between
    // neighbouring columns whose box is ink already (the runs at both its
    // ends cover it) adds nothing: most of a dense curve's joins.
    for (size_t i = 0; i + 1 < ends.size(); i += 2) {
        const Point a = ends[i], b = ends[i + 1];
        if (a.x == b.x) continue;
        if (std::abs(a.x - b.x) <= 1 && BoxIsInk(*image, a, b, ink)) continue;
        painter_.drawLine(a.x, a.y, b.x, b.y);
    }
    current_ = QPoint(ends.back().x, ends.back().y);
}

void QPainterCanvas::Polyline(const std::vector<Point>& points) {
    if (points.size() < 2) return;
    painter_.drawPolyline(ToQPolygon(points));
    current_ = QPoint(points.back().x, points.back().y);
}

void QPainterCanvas::Polygon(const std::vector<Point>& points) {
    if (points.size() < 2) return;
    painter_.drawPolygon(ToQPolygon(points), Qt::OddEvenFill);
}

void QPainterCanvas::Ellipse(const Rect& r) {
    painter_.drawEllipse(QRect(r.left, r.top, r.Width(), r.Height()));
}

void QPainterCanvas::SetClip(const Rect* r) {
    if (r)
        painter_.setClipRect(
            QRect(r->left, r->top, std::max(0, r->Width()), std::max(0, r->Height())));
    else
        painter_.setClipping(false);
}

void QPainterCanvas::SetInchMapping(bool on) {
    if (!on) {
        painter_.resetTransform();
        return;
    }
    // 1000 logical units to the inch, whatever the device's resolution.
    const QPaintDevice* device = painter_.device();
    const double sx = device ? device->logicalDpiX() / 1000.0 : 0.096;
    const double sy = device ? device->logicalDpiY() / 1000.0 : 0.096;
    painter_.setTransform(QTransform::fromScale(sx, sy));
}

std::unique_ptr<Canvas> QPainterCanvas::MakeOffscreen(Size size) {
    if (size.cx <= 0 || size.cy <= 0) return nullptr;
    auto own = std::make_unique<Offscreen>();
    own->image = QImage(size.cx, size.cy, QImage::Format_RGB32);
    if (own->image.isNull()) return nullptr;
    own->image.fill(Qt::white);
    own->painter.begin(&own->image);
    own->painter.setFont(painter_.font());
    auto canvas = std::make_unique<QPainterCanvas>(own->painter, printer_);
    canvas->own_ = std::move(own);
    return canvas;
}

void QPainterCanvas::Blit(Canvas& offscreen, int x, int y) {
    auto* other = dynamic_cast<QPainterCanvas*>(&offscreen);
    if (!other || !other->own_) return;
    other->own_->painter.end();
    painter_.drawImage(QPoint(x, y), other->own_->image);
    other->own_->painter.begin(&other->own_->image);
}

}  // namespace kurvex
