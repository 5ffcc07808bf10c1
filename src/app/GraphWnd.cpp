#include "app/GraphWnd.h"

#include <QApplication>
#include <QFile>
#include <QFocusEvent>
#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QRubberBand>
#include <QScrollBar>
#include <QStyle>
#include <QSvgRenderer>
#include <QWheelEvent>

#include "analysis/Measure.h"
#include "controls/QPainterCanvas.h"
#include "data/platform/NameText.h"
#include "dialogs/TextDlg.h"
#include "graph/StoredOptions.h"
#include "graph/Zoom.h"

namespace kurvex {

namespace {

constexpr int kAutoScrollMs = 200;
constexpr int kPointerSize = 32;

Point ToPoint(QPoint p) {
    return {p.x(), p.y()};
}

// The hot spots of the pointer pictures: lines "ID X Y".
QHash<int, QPoint> LoadHotSpots() {
    QHash<int, QPoint> spots;
    QFile file(QStringLiteral(":/cursors/hotspots.txt"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return spots;
    while (!file.atEnd()) {
        const QList<QByteArray> f = file.readLine().simplified().split(' ');
        if (f.size() != 3) continue;
        bool ok[3] = {false, false, false};
        const int id = f[0].toInt(&ok[0]), x = f[1].toInt(&ok[1]), y = f[2].toInt(&ok[2]);
        if (ok[0] && ok[1] && ok[2])
            spots.insert(
                id, QPoint(std::clamp(x, 0, kPointerSize - 1), std::clamp(y, 0, kPointerSize - 1)));
    }
    return spots;
}

// Qt's own shapes stand in for a picture that is not in the resources.
Qt::CursorShape FallbackShape(PointerShape shape) {
    switch (shape) {
        case PointerShape::Legend:
            return Qt::PointingHandCursor;
        case PointerShape::ZoomBox:
            return Qt::CrossCursor;
        case PointerShape::Pan:
            return Qt::OpenHandCursor;
        case PointerShape::ZoomPoint:
            return Qt::SizeAllCursor;
        case PointerShape::Text:
            return Qt::IBeamCursor;
        case PointerShape::AxisEndRightUpper:
        case PointerShape::AxisEndLeftLower:
            return Qt::SizeBDiagCursor;
        case PointerShape::AxisEndRightLower:
        case PointerShape::AxisEndLeftUpper:
            return Qt::SizeFDiagCursor;
        case PointerShape::Arrow:
            break;
    }
    return Qt::ArrowCursor;
}

// The pointer for `shape` at the device pixel ratio `dpr`, made once.
QCursor PointerCursor(PointerShape shape, qreal dpr) {
    if (shape == PointerShape::Arrow) return QCursor(Qt::ArrowCursor);
    static const QHash<int, QPoint> spots = LoadHotSpots();
    static QHash<QPair<int, int>, QCursor> made;
    const int id = static_cast<int>(shape);
    const QPair<int, int> key(id, qRound(dpr * 100));
    if (const auto it = made.constFind(key); it != made.constEnd()) return *it;

    QCursor cursor(FallbackShape(shape));
    const QString path = QStringLiteral(":/cursors/%1.svg").arg(id);
    QSvgRenderer svg;
    if (QFile::exists(path) && svg.load(path)) {
        QPixmap pixmap(QSize(kPointerSize, kPointerSize) * dpr);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        svg.render(&painter);
        painter.end();
        pixmap.setDevicePixelRatio(dpr);
        const QPoint hot = spots.value(id, QPoint(kPointerSize / 2, kPointerSize / 2));
        cursor = QCursor(pixmap, hot.x(), hot.y());
    }
    made.insert(key, cursor);
    return cursor;
}

ScrollAction ToScrollAction(int action, bool reversed, bool* known) {
    *known = true;
    switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            return reversed ? ScrollAction::LineLess : ScrollAction::LineMore;
        case QAbstractSlider::SliderSingleStepSub:
            return reversed ? ScrollAction::LineMore : ScrollAction::LineLess;
        case QAbstractSlider::SliderPageStepAdd:
            return reversed ? ScrollAction::PageLess : ScrollAction::PageMore;
        case QAbstractSlider::SliderPageStepSub:
            return reversed ? ScrollAction::PageMore : ScrollAction::PageLess;
        case QAbstractSlider::SliderToMinimum:
            return reversed ? ScrollAction::End : ScrollAction::Home;
        case QAbstractSlider::SliderToMaximum:
            return reversed ? ScrollAction::Home : ScrollAction::End;
        case QAbstractSlider::SliderMove:
            return ScrollAction::Thumb;
        default:
            *known = false;
            return ScrollAction::Thumb;
    }
}

}  // namespace

CGraphWnd::CGraphWnd(QWidget* parent)
    : QWidget(parent), record_(std::make_unique<CGraphCurve>(kScreenOfView)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    hbar_ = new QScrollBar(Qt::Horizontal, this);
    vbar_ = new QScrollBar(Qt::Vertical, this);
    // The bars take keyboard focus from nobody: keys belong to the screen.
    hbar_->setFocusPolicy(Qt::NoFocus);
    vbar_->setFocusPolicy(Qt::NoFocus);
    connect(hbar_, &QAbstractSlider::actionTriggered, this,
            [this](int action) { ScrollBarAction(true, action); });
    connect(vbar_, &QAbstractSlider::actionTriggered, this,
            [this](int action) { ScrollBarAction(false, action); });
    band_ = new QRubberBand(QRubberBand::Rectangle, this);
    band_->hide();
    autoScroll_.setInterval(kAutoScrollMs);
    connect(&autoScroll_, &QTimer::timeout, this, [this] { AutoScrollTick(); });
    SetIndex(0);
    SetBottom(true);
    UpdateDescription();
}

CGraphWnd::~CGraphWnd() = default;

CGraphCurve& CGraphWnd::Record() {
    return *record_;
}

const CGraphCurve& CGraphWnd::Record() const {
    return *record_;
}

void CGraphWnd::SetRecord(std::unique_ptr<CGraphCurve> record) {
    CancelDrag();
    record_ = record ? std::move(record) : std::make_unique<CGraphCurve>(kScreenOfView);
    memory_ = DrawMemory{};
    hbar_->setVisible(record_->BottomScreen() != 0);
    // Lays the new model's plot out at once, so that the first click maps.
    resizeEvent(nullptr);
    UpdateScrollBars();
    UpdateDescription();
    Redraw();
}

void CGraphWnd::SetIndex(int index) {
    index_ = index;
    setAccessibleName(QStringLiteral("Screen %1").arg(index + 1));
}

void CGraphWnd::SetBottom(bool bottom) {
    record_->SetBottomScreen(bottom);
    hbar_->setVisible(bottom);
    resizeEvent(nullptr);
    UpdateScrollBars();
    Redraw();
}

void CGraphWnd::Redraw() {
    stale_ = true;
    UpdateDescription();
    update();
}

QRect CGraphWnd::DrawingArea() const {
    const int vw = vbar_->isVisibleTo(this) ? vbar_->sizeHint().width() : 0;
    const int hh = hbar_->isVisibleTo(this) ? hbar_->sizeHint().height() : 0;
    return QRect(0, 0, std::max(0, width() - vw), std::max(0, height() - hh));
}

void CGraphWnd::resizeEvent(QResizeEvent*) {
    const int vw = vbar_->sizeHint().width();
    const int hh = hbar_->isVisibleTo(this) ? hbar_->sizeHint().height() : 0;
    vbar_->setGeometry(width() - vw, 0, vw, std::max(0, height() - hh));
    hbar_->setGeometry(0, height() - hh, std::max(0, width() - vw), hh);
    // The plot follows the new size at once, so that the mouse maps onto it
    // before the next paint.
    const QRect area = DrawingArea();
    CGraphCurve& m = *record_;
    m.SetPlot(PlotRectangle(m.GraphKind(), !m.HideAxisText(), m.BottomScreen() != 0,
                            {0, 0, area.width(), area.height()}, m.Metrics()));
    stale_ = true;
}

void CGraphWnd::Render() {
    const QRect area = DrawingArea();
    const qreal dpr = devicePixelRatioF();
    const QSize size = area.size() * dpr;
    // A drag shows its working copy until it is released.
    CGraphCurve* working = drag_.Working();
    CGraphCurve& m = working ? *working : *record_;
    if (buffer_.size() != size || buffer_.devicePixelRatio() != dpr) {
        buffer_ = QImage(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
        buffer_.setDevicePixelRatio(dpr);
        const Rgb back = m.BlackWhite() ? kRgbWhite : m.Background();
        buffer_.fill(QColor(RedOf(back), GreenOf(back), BlueOf(back)));
    }
    if (m.BusyCount() > 0) return;  // rebuilding its data: keep the last picture

    QPainter painter(&buffer_);
    QPainterCanvas canvas(painter);
    DrawOptions o;
    o.target = {0, 0, area.width(), area.height()};
    o.drawGrid = m.GridShown() != 0;
    o.showSelectionMark = true;
    if (m.Data().Get()) {
        DrawMemory workingMemory;
        DrawScreen(m, canvas, o, working ? workingMemory : memory_);
    } else {
        // Nothing to show yet: the screen's colour and, for the mouse, a plot.
        m.SetPlot(PlotRectangle(m.GraphKind(), !m.HideAxisText(), m.BottomScreen() != 0, o.target,
                                m.Metrics()));
        canvas.FillRect(o.target, m.BlackWhite() ? kRgbWhite : m.Background());
    }
    stale_ = false;
}

void CGraphWnd::paintEvent(QPaintEvent*) {
    // A move to a display of another density draws anew at its resolution.
    if (stale_ || buffer_.isNull() || buffer_.devicePixelRatio() != devicePixelRatioF()) Render();
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), buffer_);
    if (!annotation_.Feedback().empty()) {
        // The copies that follow the pointer, over the picture.
        const CGraphCurve& m = *record_;
        QPainterCanvas canvas(painter);
        DrawOptions o;
        o.recordLegend = false;
        const AnnotationPaint paint = PaintFor(m, m.Plot(), o);
        canvas.SetClip(&m.Plot());
        for (const auto& copy : annotation_.Feedback()) copy->Draw(canvas, paint);
        canvas.SetClip(nullptr);
    }
    // The corner between the two scroll bars.
    const QRect area = DrawingArea();
    if (area.width() < width() && area.height() < height())
        painter.fillRect(QRect(area.right() + 1, area.bottom() + 1, width(), height()),
                         palette().window());
}

void CGraphWnd::UpdateDescription() {
    QStringList labels;
    for (std::int32_t i = 0; i < record_->CurveCount(); ++i)
        labels << QString::fromStdString(DisplayName(record_->Curve(i).label));
    const QString text = labels.join(QLatin1Char('\n'));
    if (accessibleDescription() != text) setAccessibleDescription(text);
}

void CGraphWnd::UpdateScrollBars() {
    settingBars_ = true;
    for (QScrollBar* bar : {hbar_, vbar_}) {
        const bool horizontal = bar == hbar_;
        const ScrollBarState s =
            ScrollBarFor(*record_, horizontal ? ScrollBar::Horizontal : ScrollBar::Vertical);
        if (!s.set) {
            // No grid step to count in: nothing to scroll by.
            bar->setEnabled(false);
            continue;
        }
        bar->setEnabled(s.max > s.min);
        bar->setRange(s.min, s.max);
        bar->setPageStep(std::max(1, s.page));
        bar->setSingleStep(1);
        // The vertical bar runs downward: its top shows the top of the data.
        bar->setValue(horizontal ? s.pos : s.max - s.pos);
    }
    settingBars_ = false;
}

void CGraphWnd::ScrollBarAction(bool horizontal, int action) {
    if (settingBars_ || DragInProgress()) return;
    bool known = false;
    const ScrollAction a = ToScrollAction(action, !horizontal, &known);
    if (!known) return;
    QScrollBar* bar = horizontal ? hbar_ : vbar_;
    const int thumb = horizontal ? bar->sliderPosition() : bar->maximum() - bar->sliderPosition();
    const bool moved =
        Scroll(*record_, horizontal ? ScrollBar::Horizontal : ScrollBar::Vertical, a, thumb);
    // The bar shows what the model took, not where the user left the thumb.
    UpdateScrollBars();
    if (moved) RangeChanged(horizontal);
}

void CGraphWnd::RangeChanged(bool xChanged) {
    UpdateScrollBars();
    Redraw();
    emit rangeChanged(index_, xChanged);
}

bool CGraphWnd::HasData() const {
    const CResultData* d = record_->Data().Get();
    return d && d->RowCount() > 0;
}

void CGraphWnd::ZoomIn() {
    CancelDrag();
    // A screen without data has no ranges worth an undo entry.
    if (HasData() && ZoomByFactor(*record_, kZoomInFactor)) RangeChanged(true);
}

void CGraphWnd::ZoomOut() {
    CancelDrag();
    if (HasData() && ZoomByFactor(*record_, kZoomOutFactor)) RangeChanged(true);
}

CGraphWnd* CGraphWnd::ZoomTarget(const std::vector<CGraphWnd*>& screens) {
    std::int32_t focused = -1;
    const QWidget* focus = QApplication::focusWidget();
    for (std::size_t i = 0; i < screens.size() && focus; ++i)
        if (screens[i] && (screens[i] == focus || screens[i]->isAncestorOf(focus)))
            focused = static_cast<std::int32_t>(i);
    const std::int32_t i = ZoomTargetScreen(focused, static_cast<std::int32_t>(screens.size()));
    return i < 0 ? nullptr : screens[static_cast<std::size_t>(i)];
}

void CGraphWnd::SetUseSharedMode(bool on) {
    mode_.useShared = on;
    UpdatePointer(mapFromGlobal(QCursor::pos()));
}

void CGraphWnd::SetOwnMode(std::int32_t mode) {
    if (mode < kModeEscape || mode > kModeLine) return;
    mode_.own = mode;
    UpdatePointer(mapFromGlobal(QCursor::pos()));
}

bool CGraphWnd::DragInProgress() const {
    return drag_.Active() || annotation_.Active();
}

bool CGraphWnd::StartDrag(DragKind kind, QPoint p, Qt::MouseButton button, bool aboveLowerEnds) {
    if (record_->GraphKind() != kScreenOfView) return false;
    CancelDrag();
    if (!drag_.Begin(*record_, kind, ToPoint(p), aboveLowerEnds)) return false;
    dragButton_ = button;
    setFocus(Qt::MouseFocusReason);
    if (kind == DragKind::ZoomBox) ShowBand();
    return true;
}

void CGraphWnd::BeginRightPan(QPoint p) {
    StartDrag(DragKind::Pan, p, Qt::RightButton, false);
}

bool CGraphWnd::BeginRightZoom(QPoint p) {
    return StartDrag(DragKind::ZoomBox, p, Qt::RightButton, true);
}

void CGraphWnd::CancelDrag() {
    autoScroll_.stop();
    band_->hide();
    dragButton_ = Qt::NoButton;
    if (annotation_.Active()) ApplyRepaint(annotation_.Cancel());
    if (!drag_.Active()) return;
    const bool drewWorking = drag_.Working() != nullptr;
    drag_.Cancel();
    if (drewWorking) {
        emit dragXRange(index_, false, AxisRange{});
        Redraw();
    }
}

void CGraphWnd::FinishDrag(QPoint p) {
    autoScroll_.stop();
    band_->hide();
    dragButton_ = Qt::NoButton;
    const bool drewWorking = drag_.Working() != nullptr;
    const bool changed = drag_.Release(*record_, ToPoint(p));
    if (drewWorking) emit dragXRange(index_, false, AxisRange{});
    if (changed) {
        // Every drag moves X as well as Y; the view redraws the others.
        RangeChanged(true);
    } else if (drewWorking) {
        Redraw();
    }
}

void CGraphWnd::ShowWorking() {
    if (const CGraphCurve* working = drag_.Working())
        emit dragXRange(index_, true, working->XRange());
    Redraw();
}

void CGraphWnd::ShowBand() {
    const Rect r = drag_.Band();
    band_->setGeometry(QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom)).normalized());
    band_->show();
}

void CGraphWnd::AutoScrollTick() {
    if (!drag_.Active() || !drag_.OutsidePlot()) {
        autoScroll_.stop();
        return;
    }
    if (drag_.AutoScroll()) ShowWorking();
}

void CGraphWnd::MeasureAt(int which, QPoint p) {
    CGraphCurve& m = *record_;
    if (m.CurveCount() == 0 || !m.Plot().Contains(p.x(), p.y())) return;
    const std::optional<DataPoint> d = DataAt(m, ToPoint(p));
    if (!d) return;
    // Without a selection the first curve is measured, and becomes the
    // selected one as the measure commands make it (the cross needs one).
    if (m.SelectedCurve() < 0) m.SetSelectedCurve(0);
    double place = d->x;
    // Cursors that move along another variable go to the nearest point of the curve.
    if (!m.CursorAlong().empty()) {
        const std::optional<double> along = NearestAlong(m, m.SelectedCurve(), d->x, d->y);
        if (!along) return;
        place = *along;
    }
    SetCursorAt(m, m.SelectedCurve(), which, place,
                static_cast<MeasureLineStyle>(MeasureLineStyleSetting()));
    // A cursor the mouse places is shown (cursor 2 has no other way to appear).
    m.Cursor(which).shown = 1;
    Redraw();
    emit cursorMoved(index_, which);
}

void CGraphWnd::SelectCurve(std::int32_t curve) {
    CGraphCurve& m = *record_;
    if (curve < 0 || curve >= m.CurveCount()) return;
    const bool shown[2] = {m.Cursor(0).shown != 0, m.Cursor(1).shown != 0};
    const int reset =
        SelectMeasureCurve(m, curve, static_cast<MeasureLineStyle>(MeasureLineStyleSetting()));
    Redraw();
    if (reset == 0) {
        emit selectedCurveChanged(index_);
        return;
    }
    for (int which = 0; which < 2; ++which)
        if (shown[which]) emit cursorMoved(index_, which);
}

void CGraphWnd::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    const Point pt = ToPoint(p);
    CGraphCurve& m = *record_;
    if (DragInProgress()) {
        // A second button during a drag changes nothing.
        event->accept();
        return;
    }
    const std::int32_t mode = mode_.Current();
    const bool inPlot = m.Plot().Contains(pt.x, pt.y);
    if (event->button() == Qt::LeftButton) {
        const std::int32_t legend = inPlot ? -1 : LegendCurveAt(m, pt);
        if (legend >= 0)
            emit legendPressed(index_, legend);
        else
            emit leftPressed(index_);
        if (m.GraphKind() != kScreenOfView) return;
        if (!inPlot) {
            if (legend >= 0) SelectCurve(legend);
            return;
        }
        switch (mode) {
            case kModePan:
                StartDrag(DragKind::Pan, p, Qt::LeftButton, false);
                break;
            case kModeZoomBox:
                StartDrag(DragKind::ZoomBox, p, Qt::LeftButton, false);
                break;
            case kModeZoomPoint:
                StartDrag(DragKind::ZoomPoint, p, Qt::LeftButton, false);
                break;
            case kModeZoomAxisEnd:
                StartDrag(DragKind::ZoomAxisEnd, p, Qt::LeftButton, false);
                break;
            case kModeMeasure:
                MeasureAt(0, p);
                break;
            case kModeEscape:
                if (annotation_.PressSelect(m, pt) != AnnotationDrag::None) BeginAnnotationDrag();
                break;
            case kModeText:
                ApplyRepaint(PlaceTextAt(m, ProgramTemplates().Text(), pt));
                break;
            case kModeLine:
                if (annotation_.PressLine(m, ProgramTemplates().Line(), pt) != AnnotationDrag::None)
                    BeginAnnotationDrag();
                break;
            default:
                break;
        }
        return;
    }
    if (event->button() == Qt::RightButton) {
        if (m.GraphKind() != kScreenOfView || !inPlot) return;
        if (mode == kModeMeasure) {
            MeasureAt(1, p);
            return;
        }
        emit rightPressed(index_, event->modifiers(), event->globalPosition().toPoint());
    }
}

void CGraphWnd::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (annotation_.Active()) {
        if (!(event->buttons() & dragButton_)) {
            CancelDrag();
            UpdatePointer(p);
            return;
        }
        const AnnotationRepaint r = annotation_.Move(*record_, ToPoint(p));
        if (annotation_.Kind() == AnnotationDrag::RubberBand) {
            const Rect b = annotation_.Band();
            band_->setGeometry(QRect(b.left, b.top, b.Width(), b.Height()));
            band_->show();
        }
        ApplyRepaint(r);
        return;
    }
    if (drag_.Active()) {
        if (!(event->buttons() & dragButton_)) {
            // The release went elsewhere: the drag lost the mouse.
            CancelDrag();
            UpdatePointer(p);
            return;
        }
        if (drag_.Move(ToPoint(p))) {
            if (drag_.Kind() == DragKind::ZoomBox)
                ShowBand();
            else
                ShowWorking();
        }
        if (drag_.OutsidePlot() && !autoScroll_.isActive()) {
            if (drag_.AutoScroll()) ShowWorking();
            autoScroll_.start();
        }
        return;
    }
    if (mode_.Current() == kModeMeasure && record_->GraphKind() == kScreenOfView) {
        // Cursor 1 first when both buttons are held.
        if (event->buttons() & Qt::LeftButton) MeasureAt(0, p);
        if (event->buttons() & Qt::RightButton) MeasureAt(1, p);
    }
    UpdatePointer(p);
}

void CGraphWnd::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != dragButton_) return;
    if (annotation_.Active())
        FinishAnnotationDrag(event->position().toPoint());
    else if (drag_.Active())
        FinishDrag(event->position().toPoint());
}

void CGraphWnd::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        mousePressEvent(event);
        return;
    }
    const QPoint p = event->position().toPoint();
    CGraphCurve& m = *record_;
    const bool inPlot = m.Plot().Contains(p.x(), p.y());
    if (!inPlot && LegendCurveAt(m, ToPoint(p)) >= 0) {
        mousePressEvent(event);
        return;
    }
    if (DragInProgress()) return;
    // A selected text under the pointer is edited; anywhere else the view
    // offers the curves.
    if (mode_.Current() == kModeEscape) {
        if (CGraphText* text = SelectedTextAt(m, ToPoint(p))) {
            EditText(*text);
            return;
        }
    }
    emit doubleClicked(index_);
}

void CGraphWnd::wheelEvent(QWheelEvent* event) {
    event->accept();
    if (DragInProgress()) return;
    const int steps = wheel_.Add(event->angleDelta().y());
    if (steps == 0) return;
    const Point p = ToPoint(event->position().toPoint());
    bool changed = false;
    for (int i = 0; i < std::abs(steps); ++i) changed |= Wheel(*record_, p, steps < 0);
    if (changed) RangeChanged(true);
}

void CGraphWnd::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && DragInProgress()) {
        CancelDrag();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Delete && !DragInProgress()) {
        const AnnotationRepaint r = DeleteSelection(*record_, mode_.Current());
        if (r.redraw) {
            ApplyRepaint(r);
            event->accept();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

bool CGraphWnd::event(QEvent* event) {
    // Esc belongs to the drag, before any shortcut of the program.
    if (event->type() == QEvent::ShortcutOverride && DragInProgress() &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        event->accept();
        return true;
    }
    if (event->type() == QEvent::WindowDeactivate) CancelDrag();
    return QWidget::event(event);
}

void CGraphWnd::focusOutEvent(QFocusEvent* event) {
    // Another window or a pop-up took over: the drag has lost the mouse.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        CancelDrag();
    QWidget::focusOutEvent(event);
}

void CGraphWnd::hideEvent(QHideEvent* event) {
    CancelDrag();
    QWidget::hideEvent(event);
}

void CGraphWnd::UpdatePointer(QPoint p) {
    const PointerShape shape = PointerShapeAt(*record_, mode_.Current(), ToPoint(p));
    setCursor(PointerCursor(shape, devicePixelRatioF()));
}

void CGraphWnd::BeginAnnotationDrag() {
    dragButton_ = Qt::LeftButton;
    setFocus(Qt::MouseFocusReason);
}

void CGraphWnd::FinishAnnotationDrag(QPoint p) {
    band_->hide();
    dragButton_ = Qt::NoButton;
    ApplyRepaint(annotation_.Release(*record_, ToPoint(p)));
}

void CGraphWnd::EditText(CGraphText& text) {
    CGraphText copy(text);
    const QPointer<CGraphWnd> self(this);
    const bool accepted = RunTextDialog(this, copy);
    // While the dialog was open the screen may have closed, or its model
    // been replaced.
    if (!self || !accepted) return;
    for (const auto& a : record_->Annotations())
        if (a.get() == &text) {
            ApplyRepaint(ApplyTextEdit(text, copy));
            return;
        }
}

QRect CGraphWnd::ToQRect(const Rect& r) const {
    // Annotations far off the plot have pixel boxes beyond what QRect holds.
    const QRect area = DrawingArea();
    const int left = std::max(r.left, area.left()), top = std::max(r.top, area.top());
    const int right = std::min(r.right, area.right() + 1);
    const int bottom = std::min(r.bottom, area.bottom() + 1);
    if (r.Empty() || left >= right || top >= bottom) return {};
    return QRect(left, top, right - left, bottom - top);
}

void CGraphWnd::ApplyRepaint(const AnnotationRepaint& r) {
    QRect area = ToQRect(r.area);
    if (r.redraw) {
        // The picture is drawn at once: only the draw tells where the
        // selection's marks now are.
        Render();
        if (r.selectionAfter) area |= ToQRect(AreaOf(record_->AnnotationSelection(), 4));
    }
    if (!area.isEmpty()) update(area);
    if (r.backToEscape) {
        mode_.Set(kModeEscape);
        UpdatePointer(mapFromGlobal(QCursor::pos()));
    }
}

}  // namespace kurvex
