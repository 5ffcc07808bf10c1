#include "app/NumericLocale.h"

#include <clocale>

namespace kurvex {

void PinNumericLocale() {
    // Only the number format: messages, collation and character classes stay the user's.
    std::setlocale(LC_NUMERIC, "C");
}

}  // namespace kurvex
