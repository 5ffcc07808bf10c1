#pragma once

#include <cstdint>
#include <string>

#include "data/platform/UserMessages.h"
#include "graph/GraphLine.h"
#include "graph/GraphText.h"

namespace kurvex {

// What the Text dialog says when OK is pressed without text.
inline constexpr const char* kEnterTextMessage = "Please enter Text.";

// Commands that create annotations.
enum AnnotationCommand : int {
    kCommandAddText = 32790,
    kCommandSolidLine = 32793,
    kCommandDottedLine = 32794,
    kCommandArrowLine = 32795,
};

// The application's two creation templates: new annotations are copies.
// The options keep the text template between runs.
class AnnotationTemplates {
public:
    // The text template; the Text dialog edits it.
    CGraphText& Text() { return text_; }
    const CGraphText& Text() const { return text_; }
    // The line template; the line commands set its style and arrow flag.
    CGraphLine& Line() { return line_; }
    const CGraphLine& Line() const { return line_; }

    // Sets the line template for one of the three line commands; false (and
    // nothing changed) for any other command.
    bool ApplyLineCommand(int command);
    // Whether a line command shows checked: the line mode (7) is on with the
    // command's own style and arrow setting.
    bool LineCommandChecked(int command, int mouseMode) const;

    // The Text dialog's OK on `target` (the text template, or a copy of a text
    // being edited): stores text, justification and vertical flag; an empty
    // text is refused with kEnterTextMessage and changes nothing, and the
    // dialog then stays open.
    static bool AcceptTextDialog(CGraphText& target, const std::u16string& text,
                                 std::int32_t justification, bool vertical, UserMessages& messages);

private:
    CGraphText text_;
    CGraphLine line_;
};

}  // namespace kurvex
