#pragma once

#include <QWidget>

namespace kurvex {

// One page of a tabbed dialog that edits the dialog's working data.
class CPropertyPage : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    // Fills the controls from the working data (on every visit).
    virtual void Load() = 0;
    // Takes the controls into the working data; false keeps the user on the page.
    virtual bool Leave() = 0;
};

}  // namespace kurvex
