#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <memory>

namespace kurvex::test {

// Answers the next message box that opens: records its text and closes it,
// so that a test can run code that shows one.
class MessageBoxAnswer {
public:
    MessageBoxAnswer() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            text_ = box->text();
            ++count_;
            box->done(QMessageBox::Ok);
        });
        timer_.start();
    }
    const QString& Text() const { return text_; }
    int Count() const { return count_; }

private:
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
