#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "graph/GraphCurve.h"
#include "interaction/MeasureRows.h"

class QScrollArea;

namespace kurvex {

class COhmixGraphView;
class ToolFollower;

// The list of rows inside the measure window: labels on the left half, values
// on the right, each in its curve's colour.
class CMeasureView : public QWidget {
public:
    explicit CMeasureView(QWidget* parent = nullptr);

    // Shows `rows` from now on.
    void SetRows(std::vector<MeasureRow> rows);
    const std::vector<MeasureRow>& Rows() const { return rows_; }
    // The width of the part the window shows, which splits labels from values.
    void SetVisibleWidth(int width);
    // Where the rows go across, and the height they take.
    const MeasureColumns& Columns() const { return columns_; }
    int RowsHeight() const { return height_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Places the columns and sets the size the rows scroll over.
    void Relayout();
    // Lays the rows out; with a painter also draws them. Returns the final y.
    int Layout(QPainter* painter) const;

    std::vector<MeasureRow> rows_;
    int visibleWidth_ = 0;
    MeasureColumns columns_;
    int height_ = 0;
};

// The one floating measure window of the program (a Qt::Tool window holding a
// scroll area).
class CMsuFrame : public QWidget {
    Q_OBJECT
public:
    ~CMsuFrame() override;
    // The open window, or null while closed.
    static CMsuFrame* Instance();
    // Creates the window when there is none, places it at the bottom right of
    // `mainFrame` and shows it; returns it.
    static CMsuFrame* Open(QWidget* mainFrame);
    // Lists the cursors of `view` from now on: a reload there lists its values again.
    void Follow(COhmixGraphView* view);
    COhmixGraphView* Followed() const;
    // The cursors moved on the view whose screens are `screens` (not owned;
    // they must live until the next update or ClearValues): back to the list
    // of values under the cursors, `which` the cursor that moved (0 or 1).
    void CursorUpdate(const std::vector<CGraphCurve*>& screens, double x1, double x2, int which);
    // One result instead of the list, under `caption`, until a cursor moves;
    // a value that is not a number shows as having none.
    void ShowResult(const std::string& caption, const std::string& label, double value, Rgb colour);
    // The view that reported last is closing: its values go.
    void ClearValues();
    // Runs when the user closes the window, after measure mode was left.
    static void SetClosedHook(std::function<void()> hook);

    // What the window shows.
    const MeasureWindowState& State() const { return state_; }
    CMeasureView* View() const { return view_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit CMsuFrame(QWidget* parent);
    void Refresh();

    MeasureWindowState state_;
    ToolFollower* follow_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    CMeasureView* view_ = nullptr;
};

}  // namespace kurvex
