#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>

#include "data/platform/UserMessages.h"
#include "graph/GraphText.h"
#include "interaction/AnnotationInput.h"

class QCheckBox;
class QComboBox;
class QTextEdit;

namespace kurvex {

class CColorSwatch;

// The QFont a text annotation's font stands for (a negative height is the
// character height in pixels).
QFont ToQFont(const GraphFont& font);
// The annotation font of a QFont.
GraphFont FromQFont(const QFont& font);

// The "Text" dialog on a text annotation: the text template before a new
// text is placed, or a copy of a text being edited. OK stores the text,
// font, colour, justification and vertical flag in it; an empty text is
// refused with "Please enter Text." and the dialog stays open. Cancel leaves
// it as it was.
class CTextDlg : public QDialog {
    Q_OBJECT
public:
    // `messages` (null: message boxes) hears the refusal of an empty text.
    explicit CTextDlg(CGraphText& target, QWidget* parent = nullptr,
                      UserMessages* messages = nullptr);
    ~CTextDlg() override;

    QTextEdit* TextEdit() const { return edit_; }
    QComboBox* JustificationList() const { return justification_; }
    QCheckBox* VerticalBox() const { return vertical_; }
    // The font and colour chosen so far.
    const QFont& ChosenFont() const { return font_; }
    QColor ChosenColour() const { return colour_; }
    // What the "Font" and "..." buttons do once a choice is made.
    void ChooseFont(const QFont& font);
    void ChooseColour(const QColor& colour);

public slots:
    void accept() override;

private:
    void PasteClipboard();
    void ApplyFormat();

    CGraphText& target_;
    std::unique_ptr<UserMessages> ownMessages_;
    UserMessages* messages_;
    QTextEdit* edit_ = nullptr;
    CColorSwatch* swatch_ = nullptr;
    QComboBox* justification_ = nullptr;
    QCheckBox* vertical_ = nullptr;
    QFont font_;
    QColor colour_;
};

// The dialog on `target`, modal; true on OK. Safe when `parent` goes while
// the dialog is open (false then).
bool RunTextDialog(QWidget* parent, CGraphText& target);
// The Text command: the template's text is cleared and the dialog opened on
// the template; true on OK (the caller then sets mouse mode 6).
bool RunTextCommand(QWidget* parent, CGraphText& textTemplate);
// A double click on a selected text: the dialog on a copy of it; on OK the
// text takes the copy's fields. The repaint is empty when cancelled.
AnnotationRepaint EditTextAnnotation(QWidget* parent, CGraphText& text);

}  // namespace kurvex
