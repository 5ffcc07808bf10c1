#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kurvex::cli {

// kurvex-cli fft: amplitude spectra of variables over a range of X.
int FftSpectra(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace kurvex::cli
