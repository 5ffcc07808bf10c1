#include "dialogs/CurvePage.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "controls/ColorSwatch.h"
#include "controls/WideListBox.h"
#include "dialogs/DialogSupport.h"

namespace kurvex {

CCurve_2_Page::CCurve_2_Page(std::vector<CurveEditRecord>& working, QWidget* parent)
    : CPropertyPage(parent),
      working_(working),
      list_(new CWideListBox(this)),
      label_(new QLineEdit(this)),
      colour_(new CColorSwatch(this)),
      choose_(ChooserButton(this, tr("Choose color"))),
      thickness_(new QComboBox(this)),
      marker_(new QComboBox(this)) {
    list_->setObjectName("curves");
    label_->setObjectName("label");
    colour_->setObjectName("colour");
    choose_->setObjectName("chooseColour");
    thickness_->setObjectName("thickness");
    marker_->setObjectName("marker");
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setAccessibleName(tr("Curves"));
    for (const char* t : kThicknessChoices) thickness_->addItem(tr(t));
    for (const char* m : kMarkerChoices) marker_->addItem(tr(m));

    QLabel* labelLabel = FieldLabel(tr("&Label"), label_, this);
    QLabel* colourLabel = FieldLabel(tr("&Color"), colour_, this);
    QLabel* thicknessLabel = FieldLabel(tr("Line &thickness"), thickness_, this);
    QLabel* markerLabel = FieldLabel(tr("&Marker symbol"), marker_, this);

    auto* colourRow = new QHBoxLayout;
    colourRow->addWidget(colour_, 1);
    colourRow->addWidget(choose_);
    auto* fields = new QGridLayout;
    fields->addWidget(labelLabel, 0, 0);
    fields->addWidget(label_, 0, 1);
    fields->addWidget(colourLabel, 1, 0);
    fields->addLayout(colourRow, 1, 1);
    fields->addWidget(thicknessLabel, 2, 0);
    fields->addWidget(thickness_, 2, 1);
    fields->addWidget(markerLabel, 3, 0);
    fields->addWidget(marker_, 3, 1);
    fields->setRowStretch(4, 1);
    fields->setColumnStretch(1, 1);

    auto* page = new QHBoxLayout(this);
    page->addWidget(list_, 1);
    page->addLayout(fields, 1);

    setTabOrder(list_, label_);
    setTabOrder(label_, colour_);
    setTabOrder(colour_, choose_);
    setTabOrder(choose_, thickness_);
    setTabOrder(thickness_, marker_);
    setFocusProxy(list_);

    connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& now) { CurveSelected(now.isValid() ? now.row() : -1); });
    connect(colour_, &CColorSwatch::doubleClicked, this, &CCurve_2_Page::ChooseColour);
    connect(choose_, &QPushButton::clicked, this, &CCurve_2_Page::ChooseColour);
    const auto changed = [this] {
        if (!loading_) modified_ = true;
    };
    connect(label_, &QLineEdit::textEdited, this, changed);
    connect(thickness_, &QComboBox::currentIndexChanged, this, changed);
    connect(marker_, &QComboBox::currentIndexChanged, this, changed);
}

void CCurve_2_Page::Load() {
    QStringList names;
    std::vector<qint64> rows;
    for (const CurveEditRecord& r : working_) {
        rows.push_back(static_cast<qint64>(names.size()));
        names.append(ShownText(r.name));
    }
    const int keep = current_ >= 0 && current_ < names.size() ? current_ : 0;
    loading_ = true;
    current_ = -1;  // the records may have changed under the controls
    list_->SetEntries(names, std::move(rows));
    loading_ = false;
    SelectCurve(names.isEmpty() ? -1 : keep);
    if (names.isEmpty()) LoadControls();
}

void CCurve_2_Page::SelectCurve(int row) {
    if (row < 0 || row >= list_->Count()) return;
    list_->setCurrentIndex(list_->model()->index(row, 0));
    list_->SelectRows({row});
}

void CCurve_2_Page::CurveSelected(int row) {
    if (loading_ || row == current_) return;
    StoreControls();
    current_ = row;
    LoadControls();
}

void CCurve_2_Page::StoreControls() {
    if (current_ < 0 || static_cast<std::size_t>(current_) >= working_.size()) return;
    StoreCurveChoices(working_[static_cast<std::size_t>(current_)], StoredText(label_->text()),
                      colour_->Colour(), thickness_->currentIndex(), marker_->currentIndex());
}

void CCurve_2_Page::LoadControls() {
    const bool any = current_ >= 0 && static_cast<std::size_t>(current_) < working_.size();
    for (QWidget* w : {static_cast<QWidget*>(label_), static_cast<QWidget*>(colour_),
                       static_cast<QWidget*>(choose_), static_cast<QWidget*>(thickness_),
                       static_cast<QWidget*>(marker_)})
        w->setEnabled(any);
    if (!any) return;
    const CurveEditRecord& r = working_[static_cast<std::size_t>(current_)];
    loading_ = true;
    label_->setText(ShownText(r.label));
    colour_->SetColour(r.colour);
    thickness_->setCurrentIndex(ThicknessChoiceOf(r));
    marker_->setCurrentIndex(std::clamp<int>(r.marker, 0, marker_->count() - 1));
    loading_ = false;
}

void CCurve_2_Page::ChooseColour() {
    Rgb c = colour_->Colour();
    if (!kurvex::ChooseColour(this, c)) return;
    colour_->SetColour(c);
    modified_ = true;
}

bool CCurve_2_Page::Leave() {
    StoreControls();
    return true;
}

}  // namespace kurvex
