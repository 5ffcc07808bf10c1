#include "app/ChildFrame.h"

#include <QCloseEvent>

#include "app/GraphView.h"
#include "app/tools/MeasureWindow.h"

namespace kurvex {

CChildFrame::CChildFrame(COhmixGraphView* view, QWidget* parent)
    : QMdiSubWindow(parent), view_(view) {
    setWidget(view);
    setAttribute(Qt::WA_DeleteOnClose);
}

void CChildFrame::closeEvent(QCloseEvent* event) {
    if (view_->Busy()) {
        // Its transform is cancelled first; the window closes when it has stopped.
        view_->CloseWindow();
        event->ignore();
        return;
    }
    view_->ForgetCurveSelection();
    if (CMsuFrame* m = CMsuFrame::Instance()) {
        m->ClearValues();
        m->update();
    }
    QMdiSubWindow::closeEvent(event);
}

}  // namespace kurvex
