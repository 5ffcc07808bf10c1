#pragma once

namespace kurvex {

// Sets LC_NUMERIC to "C". Call it after the QApplication exists: QApplication takes the
// user's locale, and under a comma locale every snprintf of the core would write "1,5",
// which the readers then split at the comma.
void PinNumericLocale();

}  // namespace kurvex
