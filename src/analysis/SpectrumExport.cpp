#include "analysis/SpectrumExport.h"

#include <set>

#include "data/formats/TextWriter.h"
#include "data/platform/NumberText.h"

namespace kurvex {

std::vector<RefPtr<CResultVariable>> SpectrumColumns(
    const std::vector<const CGraphCurve*>& screens) {
    std::vector<RefPtr<CResultVariable>> out;
    if (screens.empty() || !screens.back()->Frequency().xColumn) return out;
    out.push_back(screens.back()->Frequency().xColumn);
    std::set<std::int32_t> taken;
    for (const CGraphCurve* s : screens) {
        for (std::int32_t i = 0; i < s->CurveCount(); ++i) {
            const CCurveEntry& c = s->Curve(i);
            if (!c.spectrum || c.spectrum->Capacity() == 0) continue;
            if (c.sourceKind == kCurveColumn && !taken.insert(c.columnIndex).second) continue;
            out.push_back(c.spectrum);
        }
    }
    return out;
}

bool WriteSpectra(std::FILE* file, int format, double start, double end,
                  const std::vector<RefPtr<CResultVariable>>& columns, FftWindow window) {
    if (columns.empty()) return std::fflush(file) == 0;
    const std::int32_t rows = columns.front()->Capacity();
    // Writers read every column over all rows: a spectrum cut short is padded
    // with missing samples rather than read past its end.
    std::vector<RefPtr<CResultVariable>> held;
    std::vector<const CResultVariable*> vars;
    for (const auto& c : columns) {
        if (c->Capacity() >= rows) {
            vars.push_back(c.get());
            continue;
        }
        CResultVariable* padded = c->CopyResized(rows, c->Capacity());
        if (!padded) return false;
        held.emplace_back(padded);
        vars.push_back(padded);
    }
    switch (format) {
        case kSpectrumFftFile:
            std::fputs(Format(";; FFT Data from %g (s)\t to   %g (s) \r\n", start, end).c_str(),
                       file);
            std::fputs(FftWindowComment(window).c_str(), file);
            return WriteFixedWidth(file, vars, rows, true, 1);
        case kSpectrumTab:
            return WriteDelimited(file, vars, rows, "\t", "\r\n", true, 1);
        case kSpectrumComma:
            return WriteDelimited(file, vars, rows, ",", "\r\n", true, 1);
        default:
            return false;
    }
}

}  // namespace kurvex
