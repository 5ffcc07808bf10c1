#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "graph/canvas/GraphTypes.h"

namespace kurvex {

// Print margins in hundredths of an inch, as the options keep them.
struct PageMargins {
    std::int32_t top = 100;
    std::int32_t bottom = 100;
    std::int32_t left = 100;
    std::int32_t right = 100;

    bool operator==(const PageMargins&) const = default;
};

// A printed page in thousandths of an inch: its size and the rectangle that
// the title block and the screens share.
struct PageLayout {
    std::int32_t width = 0;
    std::int32_t height = 0;
    Rect graph;

    bool operator==(const PageLayout&) const = default;
};

// Thousandths of an inch that `dots` device dots cover at `dotsPerInch`,
// truncated; 0 for a device without a resolution.
std::int32_t PageThousandths(std::int32_t dots, std::int32_t dotsPerInch);

// The graph rectangle of a page of the given size inside the margins. A pair
// of margins that leaves no room falls back to 0.1 inch before and 0.2 inch
// less than the page.
PageLayout LayoutPage(std::int32_t width, std::int32_t height, const PageMargins& margins);

// Printer units per screen pixel at 1000 units to the inch: fonts, thick pens
// and markers grow by it. 10 at 96 dots per inch, never below 1.
std::int32_t PrintScaleFactor(std::int32_t screenDpiX, std::int32_t screenDpiY);

// Where the title, the date line and the screens go in the graph rectangle.
struct TitleBlock {
    bool shown = false;
    Rect title;    // one line at the top, written left-aligned
    Rect date;     // the next line, written right-aligned
    Rect screens;  // 3 text lines below the top with a title, else all of it

    bool operator==(const TitleBlock&) const = default;
};
TitleBlock LayoutTitle(const Rect& graph, std::int32_t textHeight, bool noTitle);

// The title printed: the document's print title, else its name.
std::string PrintTitleText(const std::string& printTitle, const std::string& documentName);
// "Date: %I:%M%p %x" of a local time.
std::string PrintDateLine(const std::tm& local);

// Cuts `area` into `count` screens stacked from the top: each gets an equal
// share of the height less `reserve`, the last the rest down to the bottom.
// Printing reserves nothing; pictures reserve three text lines, as a view does.
std::vector<Rect> SplitScreens(const Rect& area, std::int32_t count, std::int32_t reserve);

// The margin fields of the page set-up dialog, in their order.
enum MarginField : int {
    kTopMarginField = 0,
    kBottomMarginField = 1,
    kLeftMarginField = 2,
    kRightMarginField = 3,
};

// A margin as its field shows it: inches with "%.2f".
std::string MarginText(std::int32_t hundredths);
// What the field shows after it was refused.
inline constexpr const char* kMarginResetText = "1.00";

// The page set-up dialog's OK: either the margins to store or the field to
// put the focus on (reset to kMarginResetText when `reset`).
struct MarginCheck {
    bool ok = false;
    int field = -1;
    bool reset = false;
    PageMargins margins;

    bool operator==(const MarginCheck&) const = default;
};
// Reads the four texts (top, bottom, left, right) as inches against a
// printable area of paperWidth × paperHeight hundredths of an inch. In order:
// a field that is no number, negative or beyond 0.9 of the paper is refused
// and reset; then top + bottom beyond the height less one inch, then left +
// right beyond the width less one inch, each focusing the larger of the two.
MarginCheck CheckMargins(const std::array<std::string, 4>& texts, double paperWidth,
                         double paperHeight);

// The document's print title and its "No title" flag.
struct PrintTitle {
    std::string title;
    std::int32_t noTitle = 0;

    bool operator==(const PrintTitle&) const = default;
};
// What the dialog's title field shows: the print title, else the document's name.
std::string TitleFieldText(const PrintTitle& current, const std::string& documentName);
// The dialog's OK: the field's text is stored when it differs from what it
// showed; an empty field sets the flag, else the check box decides.
PrintTitle AcceptTitleField(const PrintTitle& current, const std::string& shown,
                            const std::string& typed, bool noTitleChecked);

}  // namespace kurvex
