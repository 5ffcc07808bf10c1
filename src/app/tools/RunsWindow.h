#pragma once

#include <QWidget>
#include <vector>

#include "graph/RunChoice.h"

class QComboBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace kurvex {

class COhmixGraphView;
class ToolFollower;

// The floating "Runs" tool window: a checkable row with a colour swatch per run
// of the active view, a step filter and the run that is measured. Every change
// goes to the view at once, which applies it to all its screens.
class CRunsWindow : public QWidget {
    Q_OBJECT
public:
    ~CRunsWindow() override;
    // The open window, or null.
    static CRunsWindow* Instance();
    // Opens (or raises) the window on `view`, placed near `frame` the first time.
    static CRunsWindow* Open(QWidget* frame, COhmixGraphView* view);

    // Follows `view` from now on (null: none) and lists its runs.
    void Follow(COhmixGraphView* view);
    COhmixGraphView* Followed() const;

    // The controls, for the keyboard and for tests.
    QListWidget* RunList() const { return list_; }
    QListWidgetItem* RunItem(int run) const;
    QComboBox* StepBox() const { return step_; }
    QComboBox* MeasuredBox() const { return measured_; }

private:
    explicit CRunsWindow(QWidget* frame);
    // Builds the rows and choices anew from the view.
    void Refill();
    // Hands what the controls say to the view.
    void Apply(RunChoice choice);
    void SetAllChecked(bool checked);
    // The adjustments of the current run, each through its own small form.
    void AskShift();
    void AskScale();
    void AskMap();
    void AskAlign();
    // The current run and the reference run (the first shown); -1 for none.
    int CurrentRun() const;
    int ReferenceRun() const;

    ToolFollower* follow_ = nullptr;
    std::vector<std::string> names_;
    bool filling_ = false;  // the controls are being set, not changed by the user

    QLabel* empty_ = nullptr;
    // One item per run, not a widget per run: ten thousand runs list at once.
    QListWidget* list_ = nullptr;
    QLabel* stepLabel_ = nullptr;
    QComboBox* step_ = nullptr;
    QComboBox* measured_ = nullptr;
    QPushButton* all_ = nullptr;
    QPushButton* none_ = nullptr;
    QPushButton* map_ = nullptr;
    QPushButton* shift_ = nullptr;
    QPushButton* scale_ = nullptr;
    QPushButton* align_ = nullptr;
};

}  // namespace kurvex
