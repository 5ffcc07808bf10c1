#pragma once

#include <cstdint>

namespace kurvex {

// Types of annotation as the display record numbers them.
enum AnnotationType : std::int32_t {
    kAnnotationLine = 1,
    kAnnotationText = 2,
};

// Text, line or arrow drawn over the curves of a screen. The screen owns its
// annotations; the concrete kinds live beside this base.
class CGraphAnnotation {
public:
    virtual ~CGraphAnnotation() = default;
    // Which kind of annotation this is.
    virtual AnnotationType Type() const = 0;
};

}  // namespace kurvex
