#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/GraphView.h"
#include "app/KurvexApp.h"
#include "app/MainFrame.h"
#include "app/tools/FigureWindow.h"
#include "app/tools/LoopMarginsWindow.h"
#include "app/tools/MeasureWindow.h"
#include "app/tools/RunTableWindow.h"
#include "app/tools/RunsWindow.h"
#include "app/tools/ScriptWindow.h"
#include "dialogs/ShellMessages.h"
#include "graph/AppOptions.h"
#include "interaction/MouseMode.h"

namespace kurvex::test {

// A whole viewer on the offscreen platform, with settings of its own so that
// tests running side by side do not meet; what it would tell the user is kept.
class ViewerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_.path());
        QSettings(QStringLiteral("QUELLON"), QStringLiteral("Kurvex")).clear();
        ShellMessages::SetPresenter(
            [this](const std::string& text, MessageIcon) { shown_.push_back(text); });
        SetMouseMode(kModePan);
        Options() = AppOptions{};
        Restart();
    }

    void TearDown() override {
        if (CMsuFrame* m = CMsuFrame::Instance()) m->close();
        for (QWidget* w : ToolWindows()) delete w;
        app_.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ShellMessages::SetPresenter({});
        Options() = AppOptions{};
    }

    // Lets closed windows and their documents go.
    static void Settle() {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
        }
    }

    QString WriteBytes(const QString& name, const QByteArray& bytes) {
        const QString path = dir_.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        return path;
    }
    QString Write(const QString& name, const QString& text) {
        return WriteBytes(name, text.toUtf8());
    }

    // A result of `rows` rows: the given columns, column c of row r being f(c, r).
    QString WriteColumns(
        const QString& name, const QStringList& names = {"Time", "V"}, int rows = 11,
        const std::function<double(int column, int row)>& f = [](int c, int r) { return c + r; }) {
        QString text = names.join(' ') + '\n';
        for (int r = 0; r < rows; ++r) {
            QStringList line;
            for (int c = 0; c < names.size(); ++c) line << QString::number(f(c, r), 'g', 12);
            text += line.join(' ') + '\n';
        }
        return Write(name, text);
    }

    // The tool windows open now, the measure window aside.
    static std::vector<QWidget*> ToolWindows() {
        std::vector<QWidget*> all{CRunsWindow::Instance(), CRunTableWindow::Instance(),
                                  CLoopMarginsWindow::Instance(), CScriptWindow::Instance()};
        for (FigureKind k : {FigureKind::kCycles, FigureKind::kEdges, FigureKind::kHarmonics})
            all.push_back(CFigureWindow::Instance(k));
        std::erase(all, nullptr);
        return all;
    }

    // A new program in place of this one, as when the user starts it again.
    void Restart() {
        app_.reset();
        app_ = std::make_unique<CKurvexApp>();
        ASSERT_TRUE(app_->InitInstance({}, true));
        frame_ = app_->Frame();
    }

    bool Enabled(int id) const { return frame_->Actions().Action(id)->isEnabled(); }
    bool Checked(int id) const { return frame_->Actions().Action(id)->isChecked(); }

    COhmixGraphView* Open(const QString& path) {
        app_->OpenFile(path);
        QCoreApplication::processEvents();
        return frame_->ActiveView();
    }

    QTemporaryDir settings_;
    QTemporaryDir dir_;
    std::vector<std::string> shown_;
    std::unique_ptr<CKurvexApp> app_;
    CMainFrame* frame_ = nullptr;
};

// Runs `action` on the next modal dialog as soon as it is up.
inline void OnModalDialog(const std::function<void(QDialog*)>& action) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        action(dialog);
    });
    timer->start(20);
}

}  // namespace kurvex::test
