#pragma once

#include <cstdio>
#include <vector>

#include "analysis/FftWindow.h"
#include "data/model/RefPtr.h"
#include "data/model/ResultVariable.h"
#include "graph/GraphCurve.h"

namespace kurvex {

// Spectrum export formats, numbered as the frequency display's format list.
enum SpectrumFormat : int {
    kSpectrumFftFile = 1,  // ";; FFT Data ..." header, fixed width, order column
    kSpectrumTab = 2,
    kSpectrumComma = 3,
};

// The columns the frequency display exports: the last screen's frequency
// column, then each curve's spectrum, a data-set variable's only once while
// formula curves are always taken. Curves without a spectrum are skipped.
std::vector<RefPtr<CResultVariable>> SpectrumColumns(
    const std::vector<const CGraphCurve*>& screens);

// Writes `columns` (the frequency column first) in `format` over the rows of
// the frequency column, orders counted from 1; a spectrum that ends early is
// written as missing beyond its end. [start, end] is the analysed X range; an
// .fft file names any window but the rectangular one in a comment line.
bool WriteSpectra(std::FILE* file, int format, double start, double end,
                  const std::vector<RefPtr<CResultVariable>>& columns,
                  FftWindow window = FftWindow::kRectangular);

}  // namespace kurvex
