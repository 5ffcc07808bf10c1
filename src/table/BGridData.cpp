#include "table/BGridData.h"

#include <QFontMetrics>
#include <QPainter>

namespace kurvex {

void CBGridData::DrawCell(QPainter& painter, const QRect& r, int row, int column, bool selected,
                          Qt::Alignment alignment) const {
    if (row < HeaderRows()) {
        painter.fillRect(r, QColor(192, 192, 192));
        // Raised: light above and left, shadow below and right.
        painter.setPen(Qt::white);
        painter.drawLine(r.topLeft(), r.topRight());
        painter.drawLine(r.topLeft(), r.bottomLeft());
        painter.setPen(QColor(128, 128, 128));
        painter.drawLine(r.bottomLeft(), r.bottomRight());
        painter.drawLine(r.topRight(), r.bottomRight());
    } else {
        painter.fillRect(r, selected ? QColor(128, 128, 255) : QColor(Qt::white));
    }
    const std::string text = CellText(row, column);
    if (text.empty()) return;
    const QRect inner = r.adjusted(2, 0, -2, 0);
    const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    painter.setPen(Qt::black);
    painter.drawText(inner, static_cast<int>(alignment | Qt::AlignVCenter) | Qt::TextSingleLine,
                     painter.fontMetrics().elidedText(s, Qt::ElideRight, inner.width()));
}

}  // namespace kurvex
