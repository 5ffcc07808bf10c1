#pragma once

#include <string>

namespace kurvex {

// A canvas that can also write text turned a quarter turn counter-clockwise
// (reading upwards); vertical annotation texts use it when the canvas has it.
class TurnedTextCanvas {
public:
    virtual ~TurnedTextCanvas() = default;
    // Draws one line of text turned a quarter turn counter-clockwise, in the
    // current font and text colour, without filling its cell. (x, y) is where
    // the cell's top-left corner lands: the bottom-left corner of the turned
    // cell, which covers x .. x + height and y - width .. y.
    virtual void TextOutTurned(int x, int y, const std::string& text) = 0;
};

}  // namespace kurvex
