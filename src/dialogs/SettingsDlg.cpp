#include "dialogs/SettingsDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>
#include <utility>

#include "data/cache/ColumnCache.h"

namespace kurvex {

namespace {

constexpr const char* kRedrawKey = "Options/RedawXOnReload";
constexpr const char* kRightMouseKey = "Options/RMouseAction";
constexpr const char* kUnwrapKey = "Options/UnwrapPhase";
constexpr const char* kCacheAboveKey = "Options/CacheAboveMB";
constexpr const char* kCacheLimitKey = "Options/CacheLimitMB";

QSpinBox* MegabyteBox(const QString& zero, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setRange(0, kMaxCacheMB);
    box->setSuffix(QStringLiteral(" MB"));
    box->setSpecialValueText(zero);
    return box;
}

}  // namespace

CSettingsDlg::CSettingsDlg(AppOptions& options, QSettings& store, QWidget* parent)
    : QDialog(parent),
      options_(options),
      store_(store),
      storedAction_(store.value(kRightMouseKey, options.rightMouseAction).toInt()),
      redraw_(new QCheckBox(tr("&Redraw x-axis when loading new data"), this)),
      unwrap_(new QCheckBox(tr("&Unwrap phase"), this)),
      cacheAbove_(MegabyteBox(tr("never"), this)),
      cacheLimit_(MegabyteBox(tr("a fifth of the free disk space"), this)),
      cacheStatus_(new QLabel(this)) {
    setWindowTitle(tr("Settings"));
    redraw_->setObjectName("redrawX");
    unwrap_->setObjectName("unwrapPhase");
    unwrap_->setToolTip(
        tr("Read the phase of complex results continuous along frequency "
           "instead of within -180..180 degrees (from the next load)"));
    auto* group = new QGroupBox(tr("Right mouse action"), this);
    auto* groupLayout = new QVBoxLayout(group);
    const char* labels[] = {"Show &menu", "&Pan", "&Zoom"};
    const char* names[] = {"showMenu", "pan", "zoom"};
    auto* exclusive = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i) {
        actions_[i] = new QRadioButton(tr(labels[i]), group);
        actions_[i]->setObjectName(names[i]);
        exclusive->addButton(actions_[i], i);
        groupLayout->addWidget(actions_[i]);
    }

    // Results larger than memory are converted once into column files and read from there.
    auto* cache = new QGroupBox(tr("Column cache"), this);
    auto* cacheLayout = new QFormLayout(cache);
    cacheAbove_->setObjectName("cacheAbove");
    cacheLimit_->setObjectName("cacheLimit");
    // The box's own edit field takes the focus: it answers to the label too.
    for (auto [box, label] : {std::pair{cacheAbove_, tr("Cache results above")},
                              std::pair{cacheLimit_, tr("Cache size limit")}}) {
        box->setAccessibleName(label);
        if (auto* edit = box->findChild<QLineEdit*>()) edit->setAccessibleName(label);
    }
    cacheLayout->addRow(tr("Cache results &above:"), cacheAbove_);
    cacheLayout->addRow(tr("Cache size &limit:"), cacheLimit_);
    auto* clear = new QPushButton(tr("&Clear Cache"), cache);
    clear->setObjectName("clearCache");
    cacheStatus_->setObjectName("cacheStatus");
    cacheLayout->addRow(clear, cacheStatus_);
    connect(clear, &QPushButton::clicked, this, &CSettingsDlg::ClearCacheNow);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(redraw_);
    layout->addWidget(unwrap_);
    layout->addWidget(group);
    layout->addWidget(cache);
    layout->addStretch(1);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSettingsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSettingsDlg::reject);

    // What is stored wins over what this process holds.
    redraw_->setChecked(store.value(kRedrawKey, options.redrawXOnReload).toInt() != 0);
    unwrap_->setChecked(store.value(kUnwrapKey, options.unwrapPhase).toInt() != 0);
    if (storedAction_ >= 0 && storedAction_ < 3) actions_[storedAction_]->setChecked(true);
    cacheAbove_->setValue(store.value(kCacheAboveKey, options.cacheAboveMB).toInt());
    cacheLimit_->setValue(store.value(kCacheLimitKey, options.cacheLimitMB).toInt());
    redraw_->setFocus(Qt::OtherFocusReason);
}

void CSettingsDlg::accept() {
    std::int32_t action = storedAction_;  // a stored value no button stands for stays
    for (int i = 0; i < 3; ++i)
        if (actions_[i]->isChecked()) action = i;
    options_.redrawXOnReload = redraw_->isChecked() ? 1 : 0;
    options_.rightMouseAction = action;
    options_.unwrapPhase = unwrap_->isChecked() ? 1 : 0;
    store_.setValue(kRedrawKey, options_.redrawXOnReload);
    store_.setValue(kUnwrapKey, options_.unwrapPhase);
    store_.setValue(kRightMouseKey, options_.rightMouseAction);
    options_.cacheAboveMB = cacheAbove_->value();
    options_.cacheLimitMB = cacheLimit_->value();
    store_.setValue(kCacheAboveKey, options_.cacheAboveMB);
    store_.setValue(kCacheLimitKey, options_.cacheLimitMB);
    store_.sync();
    QDialog::accept();
}

void CSettingsDlg::ClearCacheNow() {
    std::size_t removed = 0;
    std::uint64_t bytes = 0;
    std::string error;
    if (!ClearCache(removed, bytes, error)) {
        cacheStatus_->setText(QString::fromStdString(error));
        return;
    }
    cacheStatus_->setText(
        (removed == 1 ? tr("Removed 1 entry (%2 MB).") : tr("Removed %1 entries (%2 MB)."))
            .arg(removed)
            .arg(static_cast<double>(bytes) / (1 << 20), 0, 'f', 1));
}

}  // namespace kurvex
