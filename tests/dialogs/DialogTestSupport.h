#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace kurvex::test {

// Answers the modal dialogs that open while it lives (message boxes,
// choosers): `answer` gets each one and ends it; the default records a
// message box's text and closes the dialog with its first choice.
class ModalAnswer {
public:
    explicit ModalAnswer(std::function<void(QDialog&)> answer = {}) : answer_(std::move(answer)) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            ++count_;
            if (auto* box = qobject_cast<QMessageBox*>(dialog)) text_ = box->text();
            if (answer_)
                answer_(*dialog);
            else
                dialog->done(QDialog::Accepted);
        });
        timer_.start();
    }
    const QString& Text() const { return text_; }
    int Count() const { return count_; }

private:
    std::function<void(QDialog&)> answer_;
    QTimer timer_;
    QString text_;
    int count_ = 0;
};

// The child of `parent` named `name`, or a test failure.
template <typename T>
T* Child(QWidget& parent, const char* name) {
    T* w = parent.findChild<T*>(QString::fromLatin1(name));
    if (!w) ADD_FAILURE() << "no child " << name;
    return w;
}

}  // namespace kurvex::test
