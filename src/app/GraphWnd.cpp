#include "app/GraphWnd.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include "analysis/Measure.h"
#include "app/QPainterCanvas.h"
#include "graph/MouseMode.h"
#include "graph/Renderer.h"
#include "graph/Zoom.h"

namespace kurvex {

CGraphWnd::CGraphWnd(QWidget* parent) : QWidget(parent), record_(std::make_unique<CGraphCurve>(0)) {
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
}

CGraphWnd::~CGraphWnd() = default;

CGraphCurve& CGraphWnd::Record() {
    return *record_;
}
const CGraphCurve& CGraphWnd::Record() const {
    return *record_;
}

void CGraphWnd::SetRecord(std::unique_ptr<CGraphCurve> record) {
    record_ = std::move(record);
    Redraw();
}

void CGraphWnd::SetIndex(int index) {
    index_ = index;
    setAccessibleName(QStringLiteral("Screen %1").arg(index + 1));
}

int CGraphWnd::Index() const {
    return index_;
}

void CGraphWnd::SetBottom(bool bottom) {
    record_->SetBottomScreen(bottom);
    Redraw();
}

void CGraphWnd::Redraw() {
    dirty_ = true;
    update();
}

void CGraphWnd::UpdateScrollBars() {}

void CGraphWnd::ZoomIn() {
    if (ZoomByFactor(*record_, kZoomInFactor)) {
        Redraw();
        emit notify(21, index_, 1, 0);
    }
}

void CGraphWnd::ZoomOut() {
    if (ZoomByFactor(*record_, kZoomOutFactor)) {
        Redraw();
        emit notify(21, index_, 1, 0);
    }
}

void CGraphWnd::BeginRightPan(QPoint) {}
bool CGraphWnd::BeginRightZoom(QPoint p) {
    const auto d = DataAt(*record_, Point{p.x(), p.y()});
    return d && d->x > record_->XRange().from && d->y > record_->YRange().from;
}
void CGraphWnd::CancelDrag() {}
bool CGraphWnd::DragInProgress() const {
    return false;
}
void CGraphWnd::SetUseSharedMode(bool) {}
void CGraphWnd::SetOwnMode(std::int32_t) {}

void CGraphWnd::paintEvent(QPaintEvent*) {
    const qreal dpr = devicePixelRatioF();
    if (dirty_ || buffer_.size() != size() * dpr) {
        buffer_ = QImage(size() * dpr, QImage::Format_RGB32);
        buffer_.setDevicePixelRatio(dpr);
        buffer_.fill(Qt::white);
        QPainter p(&buffer_);
        QPainterCanvas canvas(p);
        DrawOptions o;
        o.target = PlotRect{0, 0, width(), height()};
        o.drawGrid = record_->GridShown() != 0;
        o.showSelectionMark = (record_->DisplayFlags() & kDisplaySelected) != 0;
        DrawMemory memory;
        record_->SetPlot(DrawScreen(*record_, canvas, o, memory));
        dirty_ = false;
    }
    QPainter p(this);
    p.drawImage(0, 0, buffer_);
}

void CGraphWnd::resizeEvent(QResizeEvent*) {
    Redraw();
}

void CGraphWnd::Measure(QPoint p, int which) {
    const auto d = DataAt(*record_, Point{p.x(), p.y()});
    if (!d || record_->CurveCount() == 0) return;
    const std::int32_t curve = std::max(record_->SelectedCurve(), 0);
    SetCursorAt(*record_, curve, which, d->x,
                static_cast<MeasureLineStyle>(MeasureLineStyleSetting()));
    record_->Cursor(which).shown = 1;
    Redraw();
    emit notify(22, index_, which, 0);
}

void CGraphWnd::mousePressEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    if (e->button() == Qt::LeftButton) {
        emit notify(11, index_, 0, 0);
        if (MouseMode() == kModeMeasure) Measure(p, 0);
    } else if (e->button() == Qt::RightButton) {
        if (MouseMode() == kModeMeasure) {
            Measure(p, 1);
            return;
        }
        const QPoint g = e->globalPosition().toPoint();
        emit notify(13, index_, 0, (qint64(g.y()) << 16) | (g.x() & 0xFFFF));
    }
}

void CGraphWnd::mouseMoveEvent(QMouseEvent* e) {
    if (MouseMode() != kModeMeasure) return;
    if (e->buttons() & Qt::LeftButton) Measure(e->position().toPoint(), 0);
    if (e->buttons() & Qt::RightButton) Measure(e->position().toPoint(), 1);
}

void CGraphWnd::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) emit notify(12, index_, 0, 0);
}

void CGraphWnd::wheelEvent(QWheelEvent* e) {
    const QPoint p = e->position().toPoint();
    if (Wheel(*record_, Point{p.x(), p.y()}, e->angleDelta().y() < 0)) {
        Redraw();
        emit notify(21, index_, 1, 0);
    }
}

}  // namespace kurvex
