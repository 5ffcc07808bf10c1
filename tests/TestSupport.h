#pragma once

#include <string>
#include <utility>
#include <vector>

#include "data/UserMessages.h"

namespace kurvex::test {

// Records what the core would have shown the user.
class RecordingMessages : public UserMessages {
public:
    void Show(const std::string& text, MessageIcon icon) override {
        shown.emplace_back(text, icon);
    }
    std::vector<std::pair<std::string, MessageIcon>> shown;
};

}  // namespace kurvex::test
