#pragma once

#include <string>

namespace kurvex {

// Icons of a message shown to the user.
enum class MessageIcon { None, Information, Exclamation, Stop, Question };

// How the core tells the user something: the viewer shows a message box, the
// batch program prints a line, tests record what was said.
class UserMessages {
public:
    virtual ~UserMessages() = default;
    // Shows `text` (the exact wording the program uses) with `icon`.
    virtual void Show(const std::string& text, MessageIcon icon) = 0;
};

}  // namespace kurvex
