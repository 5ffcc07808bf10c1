#pragma once

#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "analysis/FigureRequest.h"
#include "app/tools/FigureView.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kurvex {

class COhmixGraphView;
template <class Result>
class ToolJobs;
class ToolFollower;

// One floating tool window of the measurements (Cycles, Edges or Harmonics):
// the table of the graph view the main frame shows, kept up to date as that
// view zooms, pans, reloads or is dragged. The tables are computed on a
// worker, the newest request replacing any that has not started.
class CFigureWindow : public QWidget {
    Q_OBJECT
public:
    ~CFigureWindow() override;
    // The open window of `kind`, or null.
    static CFigureWindow* Instance(FigureKind kind);
    // Opens (or raises) the window of `kind` on `view`, placed near the bottom
    // right of `frame` the first time.
    static CFigureWindow* Open(FigureKind kind, QWidget* frame, COhmixGraphView* view);

    FigureKind Kind() const { return kind_; }
    // What the window shows now.
    const FigureResult& Result() const { return result_; }
    CFigureView* TableView() const { return table_; }
    // The text Copy puts on the clipboard.
    QString CopyText() const;
    // Follows `view` from now on (null: none).
    void Follow(COhmixGraphView* view);
    COhmixGraphView* Followed() const;
    // The tables are computed anew after a short pause that gathers changes.
    void Schedule();

signals:
    // A newly computed result is shown.
    void resultShown();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    CFigureWindow(FigureKind kind, QWidget* frame);
    void BuildControls(QWidget* bar);
    void Compute();
    void FillChoices();
    FigureRequest RequestFromControls(std::string* problem) const;
    void ShowResult(FigureResult result);
    void Copy();
    void WatchScreens();
    // The X range a screen shows while it is dragged (none once the drag ends).
    void FollowDrag(int screen, bool active, AxisRange range);

    FigureKind kind_;
    ToolFollower* follow_ = nullptr;

    QComboBox* reference_ = nullptr;  // Cycles
    QLineEdit* level_ = nullptr;
    QLineEdit* hysteresis_ = nullptr;
    QComboBox* deadFrom_ = nullptr;  // Edges
    QComboBox* deadTo_ = nullptr;
    QLineEdit* fundamental_ = nullptr;  // Harmonics
    QPushButton* copy_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* message_ = nullptr;
    CFigureView* table_ = nullptr;
    QLabel* deadTitle_ = nullptr;
    CFigureView* dead_ = nullptr;

    std::unique_ptr<ToolJobs<FigureResult>> jobs_;
    std::optional<AxisRange> dragRange_;  // the X range a screen shows while dragged
    // What the last computation was asked: equal again, it is not repeated.
    bool computed_ = false;
    std::string lastInputs_;
    FigureRequest lastRequest_;
    std::optional<AxisRange> lastDrag_;
    std::string problem_;  // what was wrong with the entries
    FigureResult result_;
};

}  // namespace kurvex
