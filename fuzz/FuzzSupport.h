#pragma once

// What the fuzz targets share: a sink that keeps what a reader says, and a
// check that stops the run where a property fails.
#include <string>
#include <vector>

#include "data/platform/UserMessages.h"

namespace fuzzsupport {

class Recorder : public kurvex::UserMessages {
public:
    void Show(const std::string& text, kurvex::MessageIcon) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

inline void Check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace fuzzsupport
