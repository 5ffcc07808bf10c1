#include "app/MeasureWindow.h"

#include <QCloseEvent>
#include <QPainter>

#include "graph/MouseMode.h"

namespace kurvex {

namespace {
CMsuFrame* g_instance = nullptr;
std::function<void()> g_closed;
}  // namespace

CMsuFrame::CMsuFrame(QWidget* parent) : QWidget(parent, Qt::Tool) {
    setWindowTitle("Measure");
    setAttribute(Qt::WA_DeleteOnClose);
    resize(260, 225);
}

CMsuFrame* CMsuFrame::Instance() {
    return g_instance;
}

CMsuFrame* CMsuFrame::Open(QWidget* mainFrame) {
    if (!g_instance) {
        g_instance = new CMsuFrame(mainFrame);
        const QRect f = mainFrame->frameGeometry();
        g_instance->move(f.right() - 260, f.bottom() - 20 - 225);
    }
    g_instance->show();
    return g_instance;
}

void CMsuFrame::CursorUpdate(const std::vector<CGraphCurve*>& screens, double x1, double x2,
                             int which) {
    setWindowTitle("Measure");
    state_.resultMode = false;
    state_.screens = screens;
    state_.cursor1X = x1;
    state_.cursor2X = x2;
    state_.movedCursor = which;
    Describe();
    update();
}

void CMsuFrame::ShowResult(const std::string& caption, const std::string& label, double value,
                           Rgb colour) {
    setWindowTitle(QString::fromStdString(caption));
    state_.resultMode = true;
    state_.resultLabel = label;
    state_.resultValue = value;
    state_.resultColour = colour;
    Describe();
}

void CMsuFrame::ClearValues() {
    state_.screens.clear();
    Describe();
    update();
}

void CMsuFrame::SetClosedHook(std::function<void()> hook) {
    g_closed = std::move(hook);
}

void CMsuFrame::Describe() {
    QStringList lines;
    for (const MeasureRow& r : MeasureRows(state_))
        lines << QString::fromStdString(r.label) + '\t' + QString::fromStdString(r.value);
    setAccessibleDescription(lines.join('\n'));
}

void CMsuFrame::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    int y = 15;
    for (const MeasureRow& r : MeasureRows(state_)) {
        p.drawText(10, y + 12, QString::fromStdString(r.label));
        p.drawText(width() / 2 + 10, y + 12, QString::fromStdString(r.value));
        y += 20;
    }
}

void CMsuFrame::closeEvent(QCloseEvent* e) {
    if (MouseMode() == kModeMeasure) SetMouseMode(kModeEscape);
    g_instance = nullptr;
    if (g_closed) g_closed();
    e->accept();
}

}  // namespace kurvex
