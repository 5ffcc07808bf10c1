#pragma once

// Local stand-in until the screen widget's own version lands.

#include <QImage>
#include <QWidget>
#include <memory>

#include "graph/GraphCurve.h"

namespace kurvex {

// The codes a screen sends its view.
enum class ScreenNotify : int {
    LeftPressed = 11,
    DoubleClicked = 12,
    RightPressed = 13,
    XRangeChanged = 21,
    CursorMoved = 22
};

class CGraphWnd : public QWidget {
    Q_OBJECT
public:
    explicit CGraphWnd(QWidget* parent = nullptr);
    ~CGraphWnd() override;
    CGraphCurve& Record();
    const CGraphCurve& Record() const;
    void SetRecord(std::unique_ptr<CGraphCurve> record);
    void SetIndex(int index);
    int Index() const;
    void SetBottom(bool bottom);
    void Redraw();
    void UpdateScrollBars();
    void ZoomIn();
    void ZoomOut();
    void BeginRightPan(QPoint p);
    bool BeginRightZoom(QPoint p);
    void CancelDrag();
    bool DragInProgress() const;
    void SetUseSharedMode(bool on);
    void SetOwnMode(std::int32_t mode);

signals:
    void notify(int code, int screen, qint64 first, qint64 second);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void Measure(QPoint p, int which);

    std::unique_ptr<CGraphCurve> record_;
    QImage buffer_;
    bool dirty_ = true;
    int index_ = 0;
};

}  // namespace kurvex
