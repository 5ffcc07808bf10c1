#include "table/BGridDataGraphPoints.h"

namespace kurvex {

CBGridData_GraphPoints::CBGridData_GraphPoints(std::vector<PointColumn> columns)
    : cells_(std::move(columns)) {}

void CBGridData_GraphPoints::MeasureLayout(const QFontMetrics& metrics) {
    const QString widest = QString::fromLatin1(kWidestCell);
    columnWidth_ = std::max(1, metrics.horizontalAdvance(widest));
    rowHeight_ = std::max(1, metrics.height());
}

}  // namespace kurvex
