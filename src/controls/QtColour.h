#pragma once

#include <QColor>

#include "graph/canvas/GraphTypes.h"

namespace kurvex {

// A colour of the model (0x00BBGGRR) as Qt takes it, and back.
inline QColor ToQColor(Rgb c) {
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF));
}

inline Rgb ToRgb(const QColor& c) {
    return static_cast<Rgb>(c.red()) | (static_cast<Rgb>(c.green()) << 8) |
           (static_cast<Rgb>(c.blue()) << 16);
}

}  // namespace kurvex
