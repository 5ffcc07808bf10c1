#include "app/tools/FigureView.h"

#include <QFontMetrics>
#include <QPainter>

#include "analysis/FigureRequest.h"
#include "controls/QtColour.h"

namespace kurvex {

namespace {

// Where rows start, the space after them and inside each cell, as the measure
// window has them.
constexpr int kTop = 8;
constexpr int kStep = 5;
constexpr int kInset = 10;
constexpr int kMaxLabelWidth = 220;
// Room for the rounding between measured and drawn text, so nothing fitting is cut.
constexpr int kSlack = 2;
const QColor kRuleColour(200, 200, 200);

}  // namespace

QFont FigureFont() {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(14);
    f.setWeight(QFont::Normal);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

CFigureView::CFigureView(QWidget* parent) : QWidget(parent) {
    setFont(FigureFont());
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CFigureView::SetTable(FigureTable table) {
    table_ = std::move(table);
    setAccessibleDescription(QString::fromStdString(FigureRowsText(table_)));
    const QSize size = sizeHint();
    setMinimumSize(size);
    updateGeometry();
    update();
}

std::vector<int> CFigureView::ColumnWidths() const {
    const QFontMetrics fm(font());
    std::vector<int> widths;
    for (const std::string& c : table_.columns)
        widths.push_back(fm.horizontalAdvance(QString::fromStdString(c)) + 2 * kInset + kSlack);
    for (const FigureRow& r : table_.rows) {
        for (std::size_t c = 0; c <= r.values.size(); ++c) {
            const QString text =
                QString::fromStdString(c == 0 ? r.label : ShownFigureText(r.values[c - 1]));
            const int w = fm.horizontalAdvance(text) + 2 * kInset + kSlack;
            if (c >= widths.size()) widths.resize(c + 1, 2 * kInset);
            widths[c] = std::max(widths[c], w);
        }
    }
    if (!widths.empty()) widths[0] = std::min(widths[0], kMaxLabelWidth);
    return widths;
}

QSize CFigureView::sizeHint() const {
    if (table_.columns.empty() && table_.rows.empty()) return QSize(0, 0);
    const std::vector<int> widths = ColumnWidths();
    int w = 0;
    for (int c : widths) w += c;
    const int rowHeight = QFontMetrics(font()).height() + kStep;
    const int rows = static_cast<int>(table_.rows.size()) + 1;
    return QSize(w + 1, kTop + rows * rowHeight + kStep);
}

void CFigureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (table_.columns.empty() && table_.rows.empty()) return;
    painter.setFont(font());
    const QFontMetrics fm(font());
    const std::vector<int> widths = ColumnWidths();
    const int h = fm.height();
    // Labels to the left, figures to the right of their columns.
    const auto drawRow = [&](int y, const QStringList& cells, const QColor& colour) {
        painter.setPen(colour);
        int x = 0;
        for (int c = 0; c < cells.size() && c < static_cast<int>(widths.size()); ++c) {
            const int w = widths[static_cast<size_t>(c)];
            const QRect box(x + kInset, y, w - 2 * kInset, h);
            const QString text =
                c == 0 ? fm.elidedText(cells[c], Qt::ElideRight, box.width()) : cells[c];
            painter.drawText(
                box, (c == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignTop | Qt::TextSingleLine,
                text);
            x += w;
        }
    };
    int y = kTop;
    QStringList header;
    for (const std::string& c : table_.columns) header << QString::fromStdString(c);
    drawRow(y, header, Qt::black);
    y += h + kStep;
    const int ruleY = y - kStep / 2 - 1;
    for (const FigureRow& r : table_.rows) {
        QStringList cells{QString::fromStdString(r.label)};
        for (const auto& v : r.values) cells << QString::fromStdString(ShownFigureText(v));
        drawRow(y, cells, ToQColor(r.colour));
        y += h + kStep;
    }
    painter.setPen(QPen(kRuleColour, 1));
    int x = 0;
    for (std::size_t c = 0; c + 1 < widths.size(); ++c) {
        x += widths[c];
        painter.drawLine(x, kTop, x, y);
    }
    painter.drawLine(kInset, ruleY, x + widths.back() - kInset, ruleY);
}

}  // namespace kurvex
