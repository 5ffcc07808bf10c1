#include "dialogs/PageSetupDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QVBoxLayout>

#include "data/platform/NameText.h"
#include "dialogs/DialogSupport.h"
#include "graph/AppOptions.h"

namespace kurvex {

namespace {

QString Inches(double inches) {
    return QString::asprintf("%.2f", inches);
}

// A label and its field, the label naming the field for screen readers.
void AddRow(QFormLayout* form, const QString& label, QWidget* field) {
    auto* l = new QLabel(label);
    l->setBuddy(field);
    field->setAccessibleName(QString(label).remove('&'));
    form->addRow(l, field);
}

}  // namespace

CPageSetupDlg::CPageSetupDlg(const PageMargins& margins, const PrintTitle& title,
                             const std::string& documentName, QSizeF printable, QWidget* parent)
    : QDialog(parent),
      margins_(margins),
      title_(title),
      shownTitle_(DisplayName(TitleFieldText(title, documentName))),
      printable_(printable) {
    setWindowTitle(tr("Print Page Setup"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Values are in inch")));

    auto* paper = new QGroupBox(tr("Printable Paper Area"));
    paper->setAccessibleName(paper->title());
    auto* paperForm = new QFormLayout(paper);
    auto* width = new QLineEdit(Inches(printable.width()));
    auto* height = new QLineEdit(Inches(printable.height()));
    for (QLineEdit* e : {width, height}) {
        e->setReadOnly(true);
        e->setFocusPolicy(Qt::NoFocus);
    }
    AddRow(paperForm, tr("Width"), width);
    AddRow(paperForm, tr("Height"), height);
    layout->addWidget(paper);

    auto* graph = new QGroupBox(tr("Graph Size"));
    graph->setAccessibleName(graph->title());
    auto* graphForm = new QFormLayout(graph);
    const QString names[4] = {tr("Top margin"), tr("Bottom margin"), tr("Left margin"),
                              tr("Right margin")};
    const std::int32_t values[4] = {margins.top, margins.bottom, margins.left, margins.right};
    for (int f = 0; f < 4; ++f) {
        auto* e = new QLineEdit(QString::fromStdString(MarginText(values[f])));
        margins_edits_[static_cast<size_t>(f)] = e;
        AddRow(graphForm, names[f], e);
    }
    layout->addWidget(graph);

    auto* titleForm = new QFormLayout;
    titleEdit_ = new QLineEdit(ShownText(shownTitle_));
    AddRow(titleForm, tr("Title"), titleEdit_);
    layout->addLayout(titleForm);
    noTitle_ = new QCheckBox(tr("No title"));
    noTitle_->setChecked(title.noTitle != 0);
    layout->addWidget(noTitle_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CPageSetupDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CPageSetupDlg::reject);
    margins_edits_[0]->setFocus(Qt::OtherFocusReason);
}

void CPageSetupDlg::accept() {
    std::array<std::string, 4> texts;
    for (size_t f = 0; f < 4; ++f) texts[f] = margins_edits_[f]->text().toStdString();
    const MarginCheck check =
        CheckMargins(texts, printable_.width() * 100.0, printable_.height() * 100.0);
    if (!check.ok) {
        QLineEdit* field = margins_edits_[static_cast<size_t>(check.field)];
        if (check.reset) field->setText(QString::fromLatin1(kMarginResetText));
        field->setFocus(Qt::OtherFocusReason);
        field->selectAll();
        QApplication::beep();
        return;
    }
    margins_ = check.margins;
    title_ = AcceptTitleField(title_, shownTitle_, StoredText(titleEdit_->text()),
                              noTitle_->isChecked());
    QDialog::accept();
}

bool EditPageSetup(QWidget* parent, AppOptions& options, QSettings* store, std::string& printTitle,
                   std::int32_t& noTitle, const std::string& documentName, QSizeF printable) {
    const PageMargins margins{options.topMargin, options.bottomMargin, options.leftMargin,
                              options.rightMargin};
    CPageSetupDlg dialog(margins, PrintTitle{printTitle, noTitle}, documentName, printable, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    const PageMargins& m = dialog.Margins();
    options.topMargin = m.top;
    options.bottomMargin = m.bottom;
    options.leftMargin = m.left;
    options.rightMargin = m.right;
    printTitle = dialog.Title().title;
    noTitle = dialog.Title().noTitle;
    if (store) {
        store->beginGroup(QStringLiteral("PRINTPAGESETUP"));
        store->setValue(QStringLiteral("TOPMARGIN"), m.top);
        store->setValue(QStringLiteral("BOTTOMMARGIN"), m.bottom);
        store->setValue(QStringLiteral("LEFTMARGIN"), m.left);
        store->setValue(QStringLiteral("RIGHTMARGIN"), m.right);
        store->endGroup();
    }
    return true;
}

}  // namespace kurvex
