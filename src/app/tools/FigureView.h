#pragma once

#include <QFont>
#include <QWidget>
#include <vector>

#include "analysis/FigureTable.h"

namespace kurvex {

// The font of the tool windows: the measure window's.
QFont FigureFont();

// A table of figures drawn as the measure window draws its rows: on white,
// the labels first and one column per figure, each row in its curve's colour.
class CFigureView : public QWidget {
public:
    explicit CFigureView(QWidget* parent = nullptr);

    // Shows `table` from now on; its rows become the accessible description.
    void SetTable(FigureTable table);
    const FigureTable& Table() const { return table_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The column widths the texts need; the label column is capped.
    std::vector<int> ColumnWidths() const;

    FigureTable table_;
};

}  // namespace kurvex
