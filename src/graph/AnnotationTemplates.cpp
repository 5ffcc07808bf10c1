#include "graph/AnnotationTemplates.h"

namespace kurvex {

namespace {

constexpr int kLineMouseMode = 7;

bool LineSettings(int command, std::int32_t& style, std::int32_t& arrow) {
    switch (command) {
        case kCommandSolidLine:
            style = kLinePenSolid;
            arrow = 0;
            return true;
        case kCommandDottedLine:
            style = kLinePenDotted;
            arrow = 0;
            return true;
        case kCommandArrowLine:
            style = kLinePenSolid;
            arrow = 1;
            return true;
        default:
            return false;
    }
}

}  // namespace

bool AnnotationTemplates::ApplyLineCommand(int command) {
    std::int32_t style = 0, arrow = 0;
    if (!LineSettings(command, style, arrow)) return false;
    LinePen pen = line_.Pen();
    pen.style = style;
    line_.SetPen(pen);
    line_.SetArrow(arrow);
    return true;
}

bool AnnotationTemplates::LineCommandChecked(int command, int mouseMode) const {
    std::int32_t style = 0, arrow = 0;
    if (mouseMode != kLineMouseMode || !LineSettings(command, style, arrow)) return false;
    return line_.Pen().style == style && line_.Arrow() == arrow;
}

bool AnnotationTemplates::AcceptTextDialog(CGraphText& target, const std::u16string& text,
                                           std::int32_t justification, bool vertical,
                                           UserMessages& messages) {
    if (text.empty()) {
        messages.Show(kEnterTextMessage, MessageIcon::Exclamation);
        return false;
    }
    target.SetText(text);
    target.SetJustification(justification);
    target.SetVertical(vertical);
    return true;
}

}  // namespace kurvex
