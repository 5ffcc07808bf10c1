#include "dialogs/TextDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>
#include <cmath>

#include "controls/ColorSwatch.h"
#include "dialogs/BoxMessages.h"
#include "dialogs/DialogSupport.h"
#include "graph/AnnotationTemplates.h"

namespace kurvex {

namespace {

QString FromUtf16(const std::u16string& s) {
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

std::u16string ToUtf16(const QString& s) {
    return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()),
                          static_cast<size_t>(s.size()));
}

}  // namespace

QFont ToQFont(const GraphFont& font) {
    QFont f(QString::fromStdString(font.faceName.empty() ? "Arial" : font.faceName));
    f.setPixelSize(std::max(1, std::abs(font.height)));
    f.setWeight(static_cast<QFont::Weight>(
        std::clamp(font.weight <= 0 ? 400 : static_cast<int>(font.weight), 100, 900)));
    f.setItalic(font.italic != 0);
    f.setUnderline(font.underline != 0);
    f.setStrikeOut(font.strikeOut != 0);
    return f;
}

GraphFont FromQFont(const QFont& font) {
    GraphFont g = CGraphText::DefaultFont();
    std::string face = font.family().toStdString();
    if (face.size() > GraphFont::kFaceNameMax) face.resize(GraphFont::kFaceNameMax);
    g.faceName = face;
    // A character height in pixels, as a point size shows on a 96-dpi screen.
    const int pixels = font.pixelSize() > 0
                           ? font.pixelSize()
                           : static_cast<int>(std::lround(font.pointSizeF() * 96.0 / 72.0));
    g.height = -std::max(1, pixels);
    g.weight = font.weight();
    g.italic = font.italic() ? 1 : 0;
    g.underline = font.underline() ? 1 : 0;
    g.strikeOut = font.strikeOut() ? 1 : 0;
    return g;
}

CTextDlg::CTextDlg(CGraphText& target, QWidget* parent, UserMessages* messages)
    : QDialog(parent),
      target_(target),
      messages_(messages),
      font_(ToQFont(target.Font())),
      colour_(ToQColor(target.Colour())) {
    if (!messages_) {
        ownMessages_ = std::make_unique<BoxMessages>(this);
        messages_ = ownMessages_.get();
    }
    setWindowTitle(tr("Text"));
    edit_ = new QTextEdit;
    edit_->setAcceptRichText(false);
    edit_->setAccessibleName(tr("Text"));
    edit_->setPlainText(FromUtf16(target.Text()));

    auto* paste = new QPushButton(tr("Paste"));
    auto* fontButton = new QPushButton(tr("Font"));
    auto* colourLabel = new QLabel(tr("Text color"));
    swatch_ = new CColorSwatch;
    swatch_->setAccessibleName(tr("Text color"));
    colourLabel->setBuddy(swatch_);
    QPushButton* colourButton = ChooserButton(this, tr("Choose text color"));
    auto* justificationLabel = new QLabel(tr("Justification"));
    justification_ = new QComboBox;
    for (std::int32_t j = kJustifyCenter; j <= kJustifyLeftBottom; ++j)
        justification_->addItem(tr(CGraphText::JustificationName(j)));
    justification_->setCurrentIndex(
        std::clamp<int>(target.Justification(), kJustifyCenter, kJustifyLeftBottom));
    justification_->setAccessibleName(tr("Justification"));
    justificationLabel->setBuddy(justification_);
    vertical_ = new QCheckBox(tr("Vertical text"));
    vertical_->setChecked(target.Vertical() != 0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);

    auto* side = new QGridLayout;
    side->addWidget(paste, 0, 0, 1, 3);
    side->addWidget(fontButton, 1, 0, 1, 3);
    side->addWidget(colourLabel, 2, 0);
    side->addWidget(swatch_, 2, 1);
    side->addWidget(colourButton, 2, 2);
    side->addWidget(justificationLabel, 3, 0, 1, 3);
    side->addWidget(justification_, 4, 0, 1, 3);
    side->addWidget(vertical_, 5, 0, 1, 3);
    side->setRowStretch(6, 1);
    auto* top = new QHBoxLayout;
    top->addWidget(edit_, 1);
    top->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);

    connect(paste, &QPushButton::clicked, this, &CTextDlg::PasteClipboard);
    connect(fontButton, &QPushButton::clicked, this, [this] {
        bool ok = false;
        const QFont f = QFontDialog::getFont(&ok, font_, this, tr("Font"));
        if (ok) ChooseFont(f);
    });
    auto pickColour = [this] {
        Rgb c = ToRgb(colour_);
        if (kurvex::ChooseColour(this, c)) ChooseColour(ToQColor(c));
    };
    connect(colourButton, &QPushButton::clicked, this, pickColour);
    connect(swatch_, &CColorSwatch::doubleClicked, this, pickColour);
    connect(buttons, &QDialogButtonBox::accepted, this, &CTextDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CTextDlg::reject);
    ApplyFormat();
    resize(460, 240);
    edit_->setFocus(Qt::OtherFocusReason);
}

CTextDlg::~CTextDlg() = default;

void CTextDlg::ApplyFormat() {
    swatch_->SetColour(ToRgb(colour_));
    // New typing and the text already there take the chosen look.
    QTextCharFormat format;
    format.setFont(font_);
    format.setForeground(colour_);
    QTextCursor all(edit_->document());
    all.select(QTextCursor::Document);
    all.mergeCharFormat(format);
    edit_->setCurrentCharFormat(format);
    edit_->document()->setDefaultFont(font_);
}

void CTextDlg::ChooseFont(const QFont& font) {
    font_ = font;
    ApplyFormat();
}

void CTextDlg::ChooseColour(const QColor& colour) {
    colour_ = colour;
    ApplyFormat();
}

void CTextDlg::PasteClipboard() {
    const QString text = QApplication::clipboard()->text();
    if (text.isEmpty()) return;
    edit_->setPlainText(text);
    ApplyFormat();
}

void CTextDlg::accept() {
    // Lines are kept with CR LF, as the records have always held them.
    QString text = edit_->toPlainText();
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    if (!AnnotationTemplates::AcceptTextDialog(target_, ToUtf16(text),
                                               justification_->currentIndex(),
                                               vertical_->isChecked(), *messages_)) {
        edit_->setFocus(Qt::OtherFocusReason);
        return;
    }
    target_.SetFont(FromQFont(font_));
    target_.SetColour(ToRgb(colour_));
    QDialog::accept();
}

bool RunTextDialog(QWidget* parent, CGraphText& target) {
    // On the heap: a parent that goes while the dialog is open takes it along.
    QPointer<CTextDlg> dialog = new CTextDlg(target, parent);
    const bool accepted = dialog->exec() == QDialog::Accepted;
    delete dialog;
    return accepted;
}

bool RunTextCommand(QWidget* parent, CGraphText& textTemplate) {
    textTemplate.SetText(std::u16string());
    return RunTextDialog(parent, textTemplate);
}

AnnotationRepaint EditTextAnnotation(QWidget* parent, CGraphText& text) {
    CGraphText copy(text);
    if (!RunTextDialog(parent, copy)) return {};
    return ApplyTextEdit(text, copy);
}

}  // namespace kurvex
