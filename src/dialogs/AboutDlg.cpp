#include "dialogs/AboutDlg.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "KurvexVersion.h"
#include "interaction/ProductVersion.h"

namespace kurvex {

QString CAboutDlg::VersionText() {
    return QString::fromStdString(ShortProductVersion(KURVEX_VERSION_STRING));
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("About Kurvex"));
    auto* group = new QGroupBox(tr("Kurvex"), this);

    auto* icon = new QLabel(group);
    icon->setObjectName("icon");
    const QIcon picture(QStringLiteral(":/icons/kurvex.svg"));
    if (!picture.isNull()) icon->setPixmap(picture.pixmap(64, 64));
    icon->setAccessibleName(tr("Kurvex icon"));

    auto* version = new QLabel(tr("Version %1").arg(VersionText()), group);
    version->setObjectName("version");
    version->setAlignment(Qt::AlignCenter);
    version->setTextFormat(Qt::PlainText);
    QFont large = version->font();
    large.setPointSizeF(large.pointSizeF() * 1.3);
    large.setBold(true);
    version->setFont(large);

    auto* what = new QPlainTextEdit(group);
    what->setObjectName("description");
    what->setReadOnly(true);
    what->setAccessibleName(tr("About"));
    what->setPlainText(
        tr("Kurvex shows the results of the Ohmix circuit simulator: text and binary result "
           "files as curves on stacked screens sharing one X axis. Zoom, pan and undo; measure "
           "with cursors, maxima, minima, averages and RMS; derive curves by formulas; switch "
           "to FFT spectra; annotate, print, export, and reload after the next run."));
    what->setFixedHeight(what->fontMetrics().lineSpacing() * 7 + 12);

    auto* licence = new QLabel(
        tr("Kurvex is free software under the MIT licence (see the LICENSE file). It is built "
           "with Qt %1, used under the GNU LGPL version 3.")
            .arg(QString::fromLatin1(qVersion())),
        group);
    licence->setObjectName("licence");
    licence->setWordWrap(true);
    auto* manual = new QLabel(
        tr("The manual opens from Help > Index... or with F1; it is installed with Kurvex as "
           "HTML pages."),
        group);
    manual->setObjectName("manual");
    manual->setWordWrap(true);

    auto* text = new QVBoxLayout;
    text->addWidget(version);
    text->addWidget(what);
    text->addWidget(licence);
    text->addWidget(manual);
    auto* row = new QHBoxLayout(group);
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addLayout(text, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    resize(480, sizeHint().height());
}

}  // namespace kurvex
