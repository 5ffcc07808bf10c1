#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "data/model/RefPtr.h"
#include "data/model/ResultData.h"

namespace kurvex::cli {

// kurvex-cli fft: amplitude spectra of variables over a range of X.
// With `loaded` the data set is that one and FILE only names it in messages.
// With `spectra` the spectra (frequency first) of the run go there instead of
// into a file, and -o may be left out.
int FftSpectra(const std::vector<std::string>& args, std::FILE* out, std::FILE* err,
               const CResultDataRef* loaded = nullptr,
               std::vector<RefPtr<CResultVariable>>* spectra = nullptr);

}  // namespace kurvex::cli
