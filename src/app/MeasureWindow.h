#pragma once

// Local stand-in until the measure window's own version lands.

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "analysis/MeasureRows.h"
#include "graph/GraphCurve.h"

namespace kurvex {

class CMsuFrame : public QWidget {
public:
    static CMsuFrame* Instance();
    static CMsuFrame* Open(QWidget* mainFrame);
    void CursorUpdate(const std::vector<CGraphCurve*>& screens, double x1, double x2, int which);
    void ShowResult(const std::string& caption, const std::string& label, double value, Rgb colour);
    void ClearValues();
    static void SetClosedHook(std::function<void()> hook);

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Describe();
    explicit CMsuFrame(QWidget* parent);
    MeasureWindowState state_;
};

}  // namespace kurvex
