#pragma once

#include <QMdiSubWindow>

namespace kurvex {

class COhmixGraphView;

// The document window of a graph view.
class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit CChildFrame(COhmixGraphView* view, QWidget* parent = nullptr);
    COhmixGraphView* View() const { return view_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    COhmixGraphView* view_;
};

}  // namespace kurvex
