#pragma once

#include <QFont>
#include <QImage>
#include <QPainter>
#include <memory>

#include "graph/canvas/Canvas.h"
#include "graph/canvas/TurnedTextCanvas.h"

namespace kurvex {

// The canvas on a QPainter: a widget, a QImage, a QSvgGenerator or a QPrinter.
class QPainterCanvas : public Canvas, public TurnedTextCanvas {
public:
    // Draws with `painter`, which must outlive the canvas; `printer` marks a
    // printed page (no selection marks).
    explicit QPainterCanvas(QPainter& painter, bool printer = false);
    ~QPainterCanvas() override;

    void FillRect(const Rect& r, Colour c) override;
    void SetTextColour(Colour c) override;
    void SetBackgroundColour(Colour c) override;
    void SetTransparentText(bool transparent) override;
    void SelectFont(const CanvasFont& font) override;
    void TextOut(int x, int y, const std::string& text) override;
    void TextOutTurned(int x, int y, const std::string& text) override;
    Size TextExtent(const std::string& text) override;
    int DrawWrappedText(const Rect& r, const std::string& text, bool measureOnly) override;
    void SetPen(PenStyle style, int width, Colour c) override;
    void SetBrush(Colour c) override;
    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void Segments(const std::vector<Point>& ends) override;
    void Polyline(const std::vector<Point>& points) override;
    void Polygon(const std::vector<Point>& points) override;
    void Ellipse(const Rect& r) override;
    void SetClip(const Rect* r) override;
    void SetInchMapping(bool on) override;
    bool IsPrinter() const override { return printer_; }
    std::unique_ptr<Canvas> MakeOffscreen(Size size) override;
    void Blit(Canvas& offscreen, int x, int y) override;

    // The QFont a canvas font stands for.
    static QFont ToQFont(const CanvasFont& font);

    // Whether thin lines may be written into an image's pixels directly
    // (the same pixels as the raster engine's; off to compare the two).
    void SetRasterShortcuts(bool on) { rasterShortcuts_ = on; }

private:
    struct Offscreen;

    // The image the painter draws on when lines may go straight into its
    // pixels: no transform, clip, blending or wide pen in the way.
    QImage* PixelTarget() const;

    QPainter& painter_;
    bool printer_ = false;
    QColor text_{Qt::black};
    QColor background_{Qt::white};
    bool transparent_ = true;
    QPoint current_;
    bool rasterShortcuts_ = true;
    std::unique_ptr<Offscreen> own_;  // set when this canvas draws into its own image
};

}  // namespace kurvex
