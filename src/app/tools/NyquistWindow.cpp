#include "app/tools/NyquistWindow.h"

#include <QEvent>
#include <QMdiSubWindow>
#include <QTimer>
#include <cmath>
#include <memory>
#include <numbers>

#include "analysis/Nyquist.h"
#include "app/GraphDocument.h"
#include "app/GraphView.h"
#include "app/GraphWnd.h"
#include "data/model/ResultVariable.h"
#include "graph/DisplayRecord.h"
#include "graph/GraphLine.h"
#include "graph/ViewCommands.h"
#include "graph/canvas/Canvas.h"

namespace kurvex {

namespace {

constexpr int kCircleSegments = 96;
constexpr int kArrowCount = 4;
constexpr double kMarkSize = 0.05;     // half the -1 cross, in units of the real axis
constexpr double kArrowLength = 0.08;  // share of the view's larger span: heads grow with it
// The first view reaches out to this gain (12 dB): a loop that turns round -1
// does so well inside, and an integrator's far low end would shrink it to a dot.
constexpr double kFirstViewGain = 4.0;
constexpr Colour kCircleColour = MakeColour(128, 128, 128);
constexpr Colour kMinusOneColour = MakeColour(255, 0, 0);

void AddLine(CGraphCurve& screen, double x1, double y1, double x2, double y2, Colour colour,
             std::int32_t style, bool arrow = false) {
    auto line = std::make_unique<CGraphLine>();
    line->SetFirst(x1, y1);
    line->SetSecond(x2, y2);
    LinePen pen;
    pen.style = style;
    pen.colour = colour;
    line->SetPen(pen);
    line->SetArrow(arrow ? 1 : 0);
    screen.AddAnnotation(std::move(line));
}

// The unit circle, the point -1 and the arrows of increasing frequency, as
// annotations: drawn in data units, so the circle keeps round at equal
// scales, and never listed in the legend. The arrows go along the part of
// the curve the first view shows.
void AddMarks(CGraphCurve& screen, const CResultData& d, const NyquistView& view) {
    for (int k = 0; k < kCircleSegments; ++k) {
        const double a = 2 * std::numbers::pi * k / kCircleSegments;
        const double b = 2 * std::numbers::pi * (k + 1) / kCircleSegments;
        AddLine(screen, std::cos(a), std::sin(a), std::cos(b), std::sin(b), kCircleColour,
                kLinePenDotted);
    }
    AddLine(screen, -1 - kMarkSize, 0, -1 + kMarkSize, 0, kMinusOneColour, kLinePenSolid);
    AddLine(screen, -1, -kMarkSize, -1, kMarkSize, kMinusOneColour, kLinePenSolid);

    const auto n = static_cast<std::size_t>(d.RowCount());
    const std::span<const double> re(d.Variable(1)->Values(), n);
    const std::span<const double> im(d.Variable(2)->Values(), n);
    const double len = kArrowLength * std::max(view.xMax - view.xMin, view.yMax - view.yMin);
    const Colour colour = screen.CurveCount() > 0 ? screen.Curve(0).colour : kRgbBlack;
    for (const ArrowPlace& p : ArrowPlaces(re, im, view.near, kArrowCount)) {
        // The head is the line's first end.
        AddLine(screen, p.x + p.dx * len / 2, p.y + p.dy * len / 2, p.x - p.dx * len / 2,
                p.y - p.dy * len / 2, colour, kLinePenSolid, true);
    }
}

// The view of a result of Re and Im (columns 1 and 2) that the window opens on.
NyquistView FirstView(const CResultData& d) {
    const auto n = static_cast<std::size_t>(d.RowCount());
    return FirstNyquistView(std::span<const double>(d.Variable(1)->Values(), n),
                            std::span<const double>(d.Variable(2)->Values(), n),
                            std::span<const std::uint8_t>(d.Variable(1)->Flags(), n),
                            kFirstViewGain);
}

}  // namespace

NyquistWindow::NyquistWindow(CGraphWnd* screen) : QObject(screen), screen_(screen) {
    screen->installEventFilter(this);
    // After the view's own handling of a zoom or pan: the region chosen stays in sight.
    connect(screen, &CGraphWnd::rangeChanged, this, [this] {
        const CGraphCurve& m = screen_->Record();
        SetWanted(m.XRange(), m.YRange());
    });
}

COhmixGraphView* NyquistWindow::Open(COhmixGraphView& source, QObject* owner,
                                     const NewViewWindow& show) {
    const std::optional<NyquistSource> from = NyquistSourceOf(source.Records());
    if (!show || !from) return nullptr;
    CResultDataRef result;
    std::string error;
    if (!MakeNyquistResult(*from->data.Get(), from->pair, result, error)) {
        source.Document()->Messages().Show(error, MessageIcon::Exclamation);
        return nullptr;
    }

    // The screen goes to the new document as the display settings a file
    // would bring, so the view builds it as it builds any saved layout.
    CGraphCurve screen(kScreenOfView);
    screen.SetData(result);
    screen.AddCurve(CCurveEntry::ForColumn(result, 2));
    screen.SetYAutoScale(0);
    ApplyXVariable(screen, 1);
    const NyquistView first = FirstView(*result.Get());
    AddMarks(screen, *result.Get(), first);

    const QString title =
        QStringLiteral("Nyquist %1 - %2")
            .arg(QString::fromStdString(from->ampName), source.Document()->Title());
    auto* document = new CGraphDocument(owner);
    document->Core().Adopt(result);
    document->Core().printTitle = title.toStdString();
    CIOBuffer& settings = document->Core().Settings();
    WriteDisplayStream({&screen}, settings);
    settings.Rewind();
    connect(document, &CGraphDocument::lastViewClosed, document, &QObject::deleteLater,
            Qt::QueuedConnection);
    COhmixGraphView* view = show(document);
    if (QMdiSubWindow* w = view->Window()) w->setWindowTitle(title);
    if (view->ScreenCount() != 1) return view;
    CGraphWnd* shown = view->Screen(0);
    // The cursor moves along the curve: its frequency, gain and phase are listed with Re and Im.
    shown->Record().SetCursorCompanions({kNyquistFrequency, kNyquistGain, kNyquistPhase});
    shown->Record().SetCursorAlong(kNyquistFrequency);
    auto* keeper = new NyquistWindow(shown);
    const double pad = 0.05 * std::max(first.xMax - first.xMin, first.yMax - first.yMin);
    keeper->SetWanted({first.xMin - pad, first.xMax + pad, 0},
                      {first.yMin - pad, first.yMax + pad, 0});
    return view;
}

void NyquistWindow::SetWanted(const AxisRange& x, const AxisRange& y) {
    wantedX_ = x;
    wantedY_ = y;
    Apply();
}

bool NyquistWindow::eventFilter(QObject* watched, QEvent* event) {
    // The screen sets its new plot in its own resize handler, after this one.
    if (watched == screen_ && event->type() == QEvent::Resize)
        QTimer::singleShot(0, this, [this] { Apply(); });
    return QObject::eventFilter(watched, event);
}

void NyquistWindow::Apply() {
    CGraphCurve& m = screen_->Record();
    const PlotRect& plot = m.Plot();
    if (plot.Empty()) return;
    const EqualRanges r = EqualizeRanges(wantedX_, wantedY_, plot.Width(), plot.Height());
    RangeFlags flags;
    if (!m.SetXRange(r.x.from, r.x.to, 0, flags) || !m.SetYRange(r.y.from, r.y.to, 0, flags))
        return;
    screen_->UpdateScrollBars();
    screen_->Redraw();
}

}  // namespace kurvex
