#include "graph/PageGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "data/platform/NumberText.h"

namespace kurvex {

namespace {

// Graph extent and start along one direction: a margin pair that leaves no
// room falls back to 0.1 inch before and 0.2 inch less than the page.
void Fit(std::int32_t page, std::int32_t before, std::int32_t after, std::int32_t& start,
         std::int32_t& extent) {
    const std::int64_t a = std::int64_t{before} * 10, b = std::int64_t{after} * 10;
    const std::int64_t room = std::int64_t{page} - a - b;
    if (room < 1) {
        start = 100;
        extent = std::max(0, page - 200);
        return;
    }
    start = static_cast<std::int32_t>(a);
    extent = static_cast<std::int32_t>(room);
}

// The margin a field holds in hundredths; false when it holds no number of
// 0 or more inches that an int32 can keep.
bool ReadMargin(const std::string& text, double& hundredths) {
    size_t i = text.find_first_not_of(" \t");
    if (i == std::string::npos) return false;
    size_t j = i;
    if (text[j] == '+' || text[j] == '-') ++j;
    if (j < text.size() && text[j] == '.') ++j;
    if (j >= text.size() || text[j] < '0' || text[j] > '9') return false;
    const double inches = ParseDecimal(text.data() + i, text.data() + text.size());
    if (!std::isfinite(inches) || inches < 0.0 || inches * 100.0 > 2147483647.0) return false;
    hundredths = std::trunc(inches * 100.0);
    return true;
}

}  // namespace

std::int32_t PageThousandths(std::int32_t dots, std::int32_t dotsPerInch) {
    if (dotsPerInch <= 0 || dots <= 0) return 0;
    return static_cast<std::int32_t>(std::int64_t{dots} * 1000 / dotsPerInch);
}

PageLayout LayoutPage(std::int32_t width, std::int32_t height, const PageMargins& margins) {
    PageLayout page;
    page.width = std::max(0, width);
    page.height = std::max(0, height);
    std::int32_t left = 0, w = 0, top = 0, h = 0;
    Fit(page.width, margins.left, margins.right, left, w);
    Fit(page.height, margins.top, margins.bottom, top, h);
    page.graph = {left, top, left + w, top + h};
    return page;
}

std::int32_t PrintScaleFactor(std::int32_t screenDpiX, std::int32_t screenDpiY) {
    if (screenDpiX <= 0 || screenDpiY <= 0) return 1;
    const double f = std::min(1000.0 / screenDpiX, 1000.0 / screenDpiY);
    return std::max<std::int32_t>(1, static_cast<std::int32_t>(f + 0.49));
}

TitleBlock LayoutTitle(const Rect& graph, std::int32_t textHeight, bool noTitle) {
    TitleBlock block;
    block.screens = graph;
    if (noTitle) return block;
    block.shown = true;
    const std::int32_t h = std::max(0, textHeight);
    block.title = {graph.left, graph.top, graph.right, graph.top + h};
    block.date = {graph.left, graph.top + h, graph.right, graph.top + 2 * h};
    block.screens.top = std::min(graph.bottom, graph.top + 3 * h);
    return block;
}

std::string PrintTitleText(const std::string& printTitle, const std::string& documentName) {
    return printTitle.empty() ? documentName : printTitle;
}

std::string PrintDateLine(const std::tm& local) {
    char buf[128];
    const size_t n = std::strftime(buf, sizeof buf, "Date: %I:%M%p %x", &local);
    return std::string(buf, n);
}

std::vector<Rect> SplitScreens(const Rect& area, std::int32_t count, std::int32_t reserve) {
    std::vector<Rect> out;
    if (count < 1) return out;
    const std::int32_t h = std::max(0, (area.Height() - reserve) / count);
    for (std::int32_t i = 0; i + 1 < count; ++i)
        out.push_back({area.left, area.top + i * h, area.right, area.top + (i + 1) * h});
    const std::int32_t lastTop = area.top + (count - 1) * h;
    out.push_back({area.left, lastTop, area.right, std::max(area.bottom, lastTop)});
    return out;
}

std::string MarginText(std::int32_t hundredths) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", hundredths / 100.0);
    return buf;
}

MarginCheck CheckMargins(const std::array<std::string, 4>& texts, double paperWidth,
                         double paperHeight) {
    MarginCheck check;
    double m[4] = {};
    for (int f = 0; f < 4; ++f) {
        const double paper = f < kLeftMarginField ? paperHeight : paperWidth;
        if (!ReadMargin(texts[static_cast<size_t>(f)], m[f]) || m[f] > 0.9 * paper) {
            check.field = f;
            check.reset = true;
            return check;
        }
    }
    if (m[kTopMarginField] + m[kBottomMarginField] > paperHeight - 100.0) {
        check.field =
            m[kBottomMarginField] > m[kTopMarginField] ? kBottomMarginField : kTopMarginField;
        return check;
    }
    if (m[kLeftMarginField] + m[kRightMarginField] > paperWidth - 100.0) {
        check.field =
            m[kRightMarginField] > m[kLeftMarginField] ? kRightMarginField : kLeftMarginField;
        return check;
    }
    check.ok = true;
    check.margins = {static_cast<std::int32_t>(m[0]), static_cast<std::int32_t>(m[1]),
                     static_cast<std::int32_t>(m[2]), static_cast<std::int32_t>(m[3])};
    return check;
}

std::string TitleFieldText(const PrintTitle& current, const std::string& documentName) {
    return PrintTitleText(current.title, documentName);
}

PrintTitle AcceptTitleField(const PrintTitle& current, const std::string& shown,
                            const std::string& typed, bool noTitleChecked) {
    PrintTitle next = current;
    if (typed != shown) next.title = typed;
    next.noTitle = typed.empty() || noTitleChecked ? 1 : 0;
    return next;
}

}  // namespace kurvex
