#include "dialogs/DisplayPage.h"

#include <QCheckBox>
#include <QFontDialog>
#include <QFontInfo>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include "controls/ColorSwatch.h"
#include "controls/QPainterCanvas.h"
#include "dialogs/DialogSupport.h"
#include "graph/PlotGeometry.h"

namespace kurvex {

namespace {

QFont ToQFont(const GraphFont& f) {
    return QPainterCanvas::ToQFont(ToCanvasFont(f, 1));
}

}  // namespace

// "ABC" in the axis font and foreground colour on the background colour.
class FontSample : public QFrame {
public:
    explicit FontSample(QWidget* parent) : QFrame(parent) {
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setMinimumHeight(48);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }
    void Show(const SharedDisplay& d) {
        background_ = ToQColor(d.background);
        foreground_ = ToQColor(d.foreground);
        font_ = ToQFont(d.font);
        setAccessibleDescription(
            QStringLiteral("%1, %2 px").arg(font_.family()).arg(font_.pixelSize()));
        update();
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        {
            QPainter p(this);
            p.fillRect(contentsRect(), background_);
            p.setFont(font_);
            p.setPen(foreground_);
            p.drawText(contentsRect(), Qt::AlignCenter | Qt::TextSingleLine, QStringLiteral("ABC"));
        }
        QFrame::paintEvent(event);
    }

private:
    QColor background_ = Qt::white;
    QColor foreground_ = Qt::black;
    QFont font_;
};

CDisplay_2_Page::CDisplay_2_Page(SharedDisplay& display, QWidget* parent)
    : CPropertyPage(parent),
      display_(display),
      foreground_(new CColorSwatch(this)),
      background_(new CColorSwatch(this)),
      grid_(new CColorSwatch(this)),
      hideGrid_(new QCheckBox(tr("Hide &grid"), this)),
      sample_(new FontSample(this)),
      hideAxisText_(new QCheckBox(tr("Hide a&xis text"), this)) {
    foreground_->setObjectName("foreground");
    background_->setObjectName("background");
    grid_->setObjectName("grid");
    hideGrid_->setObjectName("hideGrid");
    sample_->setObjectName("fontSample");
    hideAxisText_->setObjectName("hideAxisText");

    auto* layout = new QGridLayout(this);
    QWidget* previous = nullptr;
    const auto chain = [this, &previous](QWidget* w) {
        if (previous) setTabOrder(previous, w);
        previous = w;
    };
    const auto colourRow = [&](int row, const QString& text, CColorSwatch* swatch,
                               Rgb SharedDisplay::*field, const char* name) {
        QLabel* label = FieldLabel(text, swatch, this);
        auto* choose =
            ChooserButton(this, tr("Choose %1").arg(QString(text).remove('&').toLower()));
        choose->setObjectName(name);
        layout->addWidget(label, row, 0);
        layout->addWidget(swatch, row, 1);
        layout->addWidget(choose, row, 2);
        chain(swatch);
        chain(choose);
        connect(swatch, &CColorSwatch::doubleClicked, this,
                [this, swatch, field] { ChooseColour(swatch, field); });
        connect(choose, &QPushButton::clicked, this,
                [this, swatch, field] { ChooseColour(swatch, field); });
    };
    colourRow(0, tr("&Foreground color"), foreground_, &SharedDisplay::foreground,
              "chooseForeground");
    colourRow(1, tr("&Background color"), background_, &SharedDisplay::background,
              "chooseBackground");
    colourRow(2, tr("G&rid color"), grid_, &SharedDisplay::grid, "chooseGrid");
    layout->addWidget(hideGrid_, 3, 1, 1, 2);
    chain(hideGrid_);

    auto* fontLabel = new QLabel(tr("F&ont"), this);
    auto* chooseFont = ChooserButton(this, tr("Choose font"));
    chooseFont->setObjectName("chooseFont");
    fontLabel->setBuddy(chooseFont);
    sample_->setAccessibleName(tr("Font"));
    layout->addWidget(fontLabel, 4, 0, Qt::AlignTop);
    layout->addWidget(sample_, 4, 1);
    layout->addWidget(chooseFont, 4, 2, Qt::AlignTop);
    chain(chooseFont);
    layout->addWidget(hideAxisText_, 5, 1, 1, 2);
    chain(hideAxisText_);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(4, 1);
    setFocusProxy(foreground_);

    connect(hideGrid_, &QCheckBox::clicked, this, &CDisplay_2_Page::Store);
    connect(chooseFont, &QPushButton::clicked, this, &CDisplay_2_Page::ChooseFont);
}

void CDisplay_2_Page::Load() {
    foreground_->SetColour(display_.foreground);
    background_->SetColour(display_.background);
    grid_->SetColour(display_.grid);
    hideGrid_->setChecked(!display_.gridShown);
    hideAxisText_->setChecked(display_.hideAxisText != 0);
    sample_->Show(display_);
}

void CDisplay_2_Page::Store() {
    display_.foreground = foreground_->Colour();
    display_.background = background_->Colour();
    display_.grid = grid_->Colour();
    display_.gridShown = hideGrid_->isChecked() ? 0 : 1;
    display_.hideAxisText = hideAxisText_->isChecked() ? 1 : 0;
    sample_->Show(display_);
}

bool CDisplay_2_Page::Leave() {
    Store();
    return true;
}

void CDisplay_2_Page::ChooseColour(CColorSwatch* swatch, Rgb SharedDisplay::*field) {
    Rgb c = swatch->Colour();
    if (!kurvex::ChooseColour(this, c)) return;
    swatch->SetColour(c);
    display_.*field = c;
    sample_->Show(display_);
}

void CDisplay_2_Page::ChooseFont() {
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, ToQFont(display_.font), this);
    if (!ok) return;
    const QFontInfo info(chosen);
    display_.font = ChosenFont(display_.font, StoredText(chosen.family()), info.pixelSize(),
                               chosen.weight(), chosen.italic());
    sample_->Show(display_);
}

}  // namespace kurvex
