#pragma once

#include <QWidget>
#include <vector>

#include "analysis/LoopMarginsRows.h"

class QComboBox;
class QLabel;
class QListWidget;

namespace kurvex {

class COhmixGraphView;
class ToolFollower;

// The floating "Loop Margins": the stability margins of the selected
// amplitude curve of the view the main frame shows, over its visible range,
// recomputed as that view zooms, selects another curve or reloads. While it
// is open, the crossovers are marked on the view's screens.
class CLoopMarginsWindow : public QWidget {
    Q_OBJECT
public:
    ~CLoopMarginsWindow() override;
    // The open window, or null.
    static CLoopMarginsWindow* Instance();
    // Opens (or raises) the window on `view`, following the window in front of `frame`.
    static CLoopMarginsWindow* Open(QWidget* frame, COhmixGraphView* view);

    // Follows `view` from now on (null: none), taking the marks off the one before.
    void Follow(COhmixGraphView* view);
    COhmixGraphView* Followed() const;
    const LoopMarginsReport& Report() const { return report_; }
    QListWidget* Rows() const { return rows_; }
    QComboBox* PhaseChoice() const { return phase_; }
    // The rows as text, as Copy puts them on the clipboard.
    QString CopyText() const;
    // Computes the rows and the marks anew now.
    void Recompute();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    explicit CLoopMarginsWindow(QWidget* frame);
    void Copy();
    void FillPhaseChoice(const CGraphCurve* screen);

    ToolFollower* follow_ = nullptr;
    LoopMarginsReport report_;
    QLabel* title_ = nullptr;
    QComboBox* phase_ = nullptr;
    QListWidget* rows_ = nullptr;
};

}  // namespace kurvex
