#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace kurvex {

class COhmixGraphView;
class ToolFollower;

// The floating "Measurement Script" window: the script of the view in front
// (.meas statements), Run, and its results, one row per shown run and one
// column per measurement; the view measures again after every reload.
class CScriptWindow : public QWidget {
    Q_OBJECT
public:
    ~CScriptWindow() override;
    // The open window, or null.
    static CScriptWindow* Instance();
    // Opens (or raises) the window on `view`, following the window in front of `frame`.
    static CScriptWindow* Open(QWidget* frame, COhmixGraphView* view);

    COhmixGraphView* Followed() const;
    QPlainTextEdit* Editor() const { return editor_; }
    QTableWidget* Table() const { return table_; }
    // Measures the script in the editor over the shown runs.
    void Run();
    // Loads the statements of a script file or netlist into the editor.
    bool LoadScript(const QString& path);
    // Writes the editor's text to `path`; a failure is reported in a message box.
    bool SaveScript(const QString& path);
    // Writes the results as CSV to `path`; a failure is reported in a message box.
    bool SaveCsv(const QString& path);
    // The results as tab-separated text, as Copy puts them on the clipboard.
    QString CopyText() const;

private:
    explicit CScriptWindow(QWidget* frame);
    void Link(COhmixGraphView* before, COhmixGraphView* now);
    void ShowResults();
    void ShowProgress(int done, int total);

    ToolFollower* follow_ = nullptr;
    QPlainTextEdit* editor_ = nullptr;
    QPushButton* run_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
    QTableWidget* table_ = nullptr;
};

}  // namespace kurvex
