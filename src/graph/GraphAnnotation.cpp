#include "graph/GraphAnnotation.h"

#include <algorithm>

namespace kurvex {

Rect BoxAround(Point p, int half) {
    return {p.x - half, p.y - half, p.x + half + 1, p.y + half + 1};
}

bool RectsMeet(const Rect& a, const Rect& b) {
    if (a.Empty() || b.Empty()) return false;
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

Rect Inflate(const Rect& r, int d) {
    if (r.Empty()) return r;
    return {r.left - d, r.top - d, r.right + d, r.bottom + d};
}

Rect Union(const Rect& a, const Rect& b) {
    if (a.Empty()) return b;
    if (b.Empty()) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

}  // namespace kurvex
