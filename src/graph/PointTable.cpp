#include "graph/PointTable.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "data/formats/QuotedNames.h"
#include "data/formats/TextWriter.h"
#include "data/model/Runs.h"
#include "data/platform/NameText.h"
#include "data/platform/NumberText.h"
#include "graph/PreviousRun.h"

namespace kurvex {

namespace {

// Rows between two looks at the progress counter and the cancel flag.
constexpr std::int32_t kRowsPerCheck = 1024;

bool Cancelled(const WorkControl& control) {
    return control.cancel && control.cancel->load(std::memory_order_relaxed);
}

void Report(const WorkControl& control, std::int64_t rows) {
    if (control.done) control.done->store(rows, std::memory_order_relaxed);
}

// Characters, not bytes, of UTF-8 text: a name pads like a number.
std::size_t Characters(const char* s, std::size_t n) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < n; ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) ++count;
    return count;
}

std::int32_t UsableCount(const CResultVariable* v, std::int32_t rows) {
    return v ? std::max(0, std::min(v->Capacity(), rows)) : 0;
}

// The column of one curve of `screen` in run `run`: its samples, or its spectrum.
PointColumn CurveColumn(const CGraphCurve& screen, const CCurveEntry& curve, std::int32_t run = 0) {
    PointColumn c;
    c.name = DisplayName(curve.label.empty() ? curve.formula : curve.label);
    if (screen.FreqDisplay()) {
        c.values = curve.spectrum;
        c.count = c.values ? c.values->Capacity() : 0;
        return c;
    }
    const CResultData* whole = screen.Data().Get();
    const CResultData* d = whole ? whole->Run(run) : nullptr;
    if (curve.sourceKind == kCurveColumn && d && curve.columnIndex >= 0 &&
        curve.columnIndex < whole->VariableCount()) {
        const std::int32_t i = run == 0
                                   ? curve.columnIndex
                                   : RunVariable(*d, whole->Variable(curve.columnIndex)->Name());
        if (i >= 0)
            c.values = RefPtr<CResultVariable>(const_cast<CResultVariable*>(d->Variable(i)));
    } else if (curve.sourceKind == kCurveFormula) {
        const auto at = static_cast<size_t>(run - 1);
        c.values = run == 0                       ? curve.formulaResult
                   : at < curve.runResults.size() ? curve.runResults[at]
                                                  : RefPtr<CResultVariable>();
    }
    c.count = UsableCount(c.values.get(), d ? d->RowCount() : 0);
    return c;
}

}  // namespace

std::string CellSource::CellText(std::int32_t row, std::int32_t column) const {
    std::string s;
    AppendCellText(s, row, column);
    return s;
}

std::optional<GridRange> NormaliseRange(const GridRange& range, std::int32_t rows,
                                        std::int32_t columns) {
    if (rows < 1 || columns < 1) return std::nullopt;
    auto fix = [](std::int32_t first, std::int32_t last, std::int32_t n, std::int32_t& a,
                  std::int32_t& b) {
        a = std::clamp(first == -1 ? 0 : first, 0, n - 1);
        b = std::clamp(last == -1 ? n - 1 : last, 0, n - 1);
        if (a > b) std::swap(a, b);
    };
    GridRange r;
    fix(range.firstRow, range.lastRow, rows, r.firstRow, r.lastRow);
    fix(range.firstColumn, range.lastColumn, columns, r.firstColumn, r.lastColumn);
    return r;
}

namespace {

void AppendRow(const CellSource& cells, const GridRange& r, std::int32_t row,
               const CopyFormat& format, std::string& out) {
    for (std::int32_t c = r.firstColumn; c <= r.lastColumn; ++c) {
        if (c > r.firstColumn) out += format.separator;
        const std::size_t start = out.size();
        cells.AppendCellText(out, row, c);
        const std::size_t n = Characters(out.data() + start, out.size() - start);
        if (n < format.minWidth) out.append(format.minWidth - n, ' ');
    }
    out += format.lineEnd;
}

}  // namespace

bool RangeText(const CellSource& cells, const GridRange& range, const CopyFormat& format,
               std::string& out, const WorkControl& control) {
    const std::optional<GridRange> r = NormaliseRange(range, cells.RowCount(), cells.ColumnCount());
    if (!r) return true;
    for (std::int32_t row = r->firstRow; row <= r->lastRow; ++row) {
        if ((row - r->firstRow) % kRowsPerCheck == 0) {
            if (Cancelled(control)) return false;
            Report(control, row - r->firstRow);
        }
        AppendRow(cells, *r, row, format, out);
    }
    Report(control, std::int64_t{r->lastRow} - r->firstRow + 1);
    return true;
}

bool WriteRangeText(const CellSource& cells, const GridRange& range, const CopyFormat& format,
                    const std::function<bool(std::string_view piece)>& write,
                    const WorkControl& control) {
    const std::optional<GridRange> r = NormaliseRange(range, cells.RowCount(), cells.ColumnCount());
    if (!r) return true;
    std::string piece;
    for (std::int32_t row = r->firstRow; row <= r->lastRow; ++row) {
        if ((row - r->firstRow) % kRowsPerCheck == 0) {
            if (!piece.empty() && !write(piece)) return false;
            piece.clear();
            if (Cancelled(control)) return false;
            Report(control, row - r->firstRow);
        }
        AppendRow(cells, *r, row, format, piece);
    }
    if (!piece.empty() && !write(piece)) return false;
    Report(control, std::int64_t{r->lastRow} - r->firstRow + 1);
    return true;
}

std::vector<PointColumn> PointColumnsOf(const std::vector<const CGraphCurve*>& screens) {
    std::vector<PointColumn> out;
    if (screens.empty()) return out;
    const CGraphCurve& bottom = *screens.back();
    CResultData* whole = bottom.Data().Get();
    if (!whole) return out;
    const std::int32_t run = PointTableRun(bottom);
    CResultData* data = whole->Run(run);
    std::lock_guard<std::recursive_mutex> hold(data->Lock());
    const std::int32_t rows = data->RowCount();

    PointColumn x;
    if (bottom.FreqDisplay() && bottom.Frequency().xColumn) {
        x.values = bottom.Frequency().xColumn;
        x.count = x.values->Capacity();
        x.name = DisplayName(bottom.XTitle());
    } else {
        const std::int32_t i =
            run == 0 ? bottom.XIndex() : RunVariable(*data, bottom.XVariableName());
        if (i >= 0 && i < data->VariableCount())
            x.values = RefPtr<CResultVariable>(const_cast<CResultVariable*>(data->Variable(i)));
        x.count = UsableCount(x.values.get(), rows);
        x.name = DisplayName(bottom.XVariableName());
    }
    out.push_back(std::move(x));

    for (const CGraphCurve* screen : screens) {
        CGraphCurve* shadow =
            screen->PreviousRunShown() ? screen->PreviousRunShown()->Follow(*screen) : nullptr;
        for (std::int32_t k = 0; k < screen->CurveCount(); ++k) {
            const CCurveEntry& curve = screen->Curve(k);
            PointColumn c = CurveColumn(*screen, curve, run);
            // The previous run beside each curve, at the same X as its rows.
            const std::int32_t previous = shadow ? screen->PreviousRunShown()->CurveOf(k) : -1;
            PointColumn p;
            if (previous >= 0 && out.front().values) {
                const PointColumn before = CurveColumn(*shadow, shadow->Curve(previous));
                const RefPtr<CResultVariable> x =
                    shadow->FreqDisplay() ? shadow->Frequency().xColumn
                                          : RefPtr<CResultVariable>(const_cast<CResultVariable*>(
                                                shadow->Data()->Variable(shadow->XIndex())));
                if (before.values && x) {
                    p.name = c.name + " (previous)";
                    p.values = ValuesAt(*out.front().values, out.front().count, *x, *before.values,
                                        before.count);
                    p.count = p.values ? out.front().count : 0;
                }
            }
            out.push_back(std::move(c));
            if (!p.name.empty()) out.push_back(std::move(p));
        }
    }
    return out;
}

std::int32_t PointTableRun(const CGraphCurve& bottom) {
    const CResultData* data = bottom.Data().Get();
    if (bottom.FreqDisplay() || !data || !data->Run(bottom.MeasuredRun())) return 0;
    return bottom.MeasuredRun();
}

PointCells::PointCells(std::vector<PointColumn> columns) : columns_(std::move(columns)) {
    std::int32_t longest = 0;
    for (PointColumn& c : columns_) {
        c.count = c.values ? std::clamp(c.count, 0, c.values->Capacity()) : 0;
        longest = std::max(longest, c.count);
    }
    rows_ = columns_.empty() ? 0 : longest + 1;
}

void PointCells::AppendCellText(std::string& out, std::int32_t row, std::int32_t column) const {
    if (column < 0 || column >= ColumnCount() || row < 0) return;
    const PointColumn& c = columns_[static_cast<std::size_t>(column)];
    if (row == 0) {
        out += c.name;
        return;
    }
    const std::int32_t i = row - 1;
    if (i >= c.count) return;
    switch (c.values->Flags()[i]) {
        case kPointValid: {
            char buf[32];
            const int n = std::snprintf(buf, sizeof buf, "%g", c.values->Values()[i]);
            if (n > 0) out.append(buf, static_cast<std::size_t>(n));
            break;
        }
        case kPointInvalid:
            out += "NAN";
            break;
        default:
            break;
    }
}

bool WritePointsDelimited(std::FILE* file, const std::vector<PointColumn>& columns,
                          const char* separator, const WorkControl& control) {
    const PointCells cells(columns);
    std::string line;
    for (std::size_t c = 0; c < columns.size(); ++c) {
        if (c > 0) line += separator;
        line += DelimitedName(columns[c].name);
    }
    line += "\r\n";
    if (std::fwrite(line.data(), 1, line.size(), file) != line.size()) return false;
    const std::vector<PointColumn>& cols = cells.Columns();
    for (std::int32_t i = 0; i + 1 < cells.RowCount(); ++i) {
        if (i % kRowsPerCheck == 0) {
            if (Cancelled(control)) return false;
            Report(control, i);
        }
        line.clear();
        for (std::size_t c = 0; c < cols.size(); ++c) {
            if (c > 0) line += separator;
            if (i >= cols[c].count) continue;
            AppendDelimitedSample(line, cols[c].values->Values()[i], cols[c].values->Flags()[i]);
        }
        line += "\r\n";
        if (std::fwrite(line.data(), 1, line.size(), file) != line.size()) return false;
    }
    Report(control, cells.RowCount() > 0 ? cells.RowCount() - 1 : 0);
    return std::fflush(file) == 0 && !std::ferror(file);
}

namespace {

// A stream over another that counts what goes through and fails once the
// user cancels, so that a writer without progress of its own can be followed
// and stopped.
struct Watched {
    std::FILE* target;
    const WorkControl* control;
    std::int64_t bytes = 0;
    std::int64_t rowBytes = 1;
};

ssize_t WatchedWrite(void* cookie, const char* data, size_t size) {
    auto* w = static_cast<Watched*>(cookie);
    if (Cancelled(*w->control)) return -1;
    const size_t n = std::fwrite(data, 1, size, w->target);
    w->bytes += static_cast<std::int64_t>(n);
    Report(*w->control, w->bytes / w->rowBytes);
    return n == size ? static_cast<ssize_t>(n) : -1;
}

}  // namespace

bool WritePointsTable(std::FILE* file, const std::vector<PointColumn>& columns,
                      const WorkControl& control) {
    const PointCells cells(columns);
    const std::int32_t rows = std::max(0, cells.RowCount() - 1);
    // The writer takes variables under their own names, all of one length:
    // only a column that is renamed or shorter is copied.
    std::vector<RefPtr<CResultVariable>> own;
    std::vector<const CResultVariable*> vars;
    for (const PointColumn& c : cells.Columns()) {
        const CResultVariable* v = c.values.get();
        if (!v || c.count != rows || v->Name() != c.name) {
            CResultVariable* copy = v ? v->CopyResized(std::max(rows, 1), std::min(c.count, rows))
                                      : CResultVariable::Create(std::max(rows, 1));
            if (!copy) return false;
            own.emplace_back(copy);
            copy->SetName(c.name);
            v = copy;
        }
        vars.push_back(v);
    }
    Watched watched{file, &control};
    watched.rowBytes = 18 * static_cast<std::int64_t>(vars.size()) + 2;
    cookie_io_functions_t io{};
    io.write = WatchedWrite;
    std::FILE* stream = fopencookie(&watched, "w", io);
    if (!stream) return false;
    const bool written = WriteFixedWidth(stream, vars, rows, false, 0);
    const bool closed = std::fclose(stream) == 0;
    if (!written || !closed || Cancelled(control)) return false;
    return std::fflush(file) == 0 && !std::ferror(file);
}

std::string TableCaption(const std::string& title, std::int32_t counter, std::int32_t runs,
                         std::int32_t run, const std::string& runName) {
    std::string caption = Format("%s : %i", title.c_str(), counter);
    if (runs > 1) caption += Format(" (run %d: %s)", run + 1, runName.c_str());
    return caption;
}

std::int32_t TableFrameWidth(const std::vector<std::int32_t>& columnWidths, std::int32_t separator,
                             std::int32_t scrollBarWidth) {
    std::int64_t w = 2 * std::int64_t{scrollBarWidth};
    for (std::int32_t c : columnWidths) w += std::int64_t{c} + separator;
    return static_cast<std::int32_t>(std::min<std::int64_t>(w, 1 << 24));
}

}  // namespace kurvex
