#include "graph/GraphText.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "data/platform/IOBuffer.h"
#include "data/platform/NameText.h"
#include "graph/FontRecord.h"
#include "graph/GraphCurve.h"
#include "graph/PlotGeometry.h"
#include "graph/canvas/TurnedTextCanvas.h"

namespace kurvex {

namespace {

// A font this high is no label: a record asking for one is corrupt.
constexpr std::int32_t kMaxFontHeight = 1000;
constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

CanvasFont CanvasFontOf(const GraphFont& f) {
    CanvasFont c;
    c.face = f.faceName.empty() ? "Arial" : f.faceName;
    const std::int64_t h = std::llabs(static_cast<std::int64_t>(f.height));
    c.height = static_cast<int>(std::clamp<std::int64_t>(h, 1, 100000));
    c.weight = f.weight <= 0 ? 400 : std::min(f.weight, 1000);
    c.italic = f.italic != 0;
    return c;
}

int LineHeight(Canvas& canvas, const std::string& line) {
    const int h = canvas.TextExtent(line).cy;
    return h > 0 ? h : canvas.TextExtent(" ").cy;
}

}  // namespace

CGraphText::CGraphText() : font_(DefaultFont()) {}

GraphFont CGraphText::DefaultFont() {
    GraphFont f;
    f.height = -12;
    f.weight = 0;
    f.faceName = "Arial";
    return f;
}

const char* CGraphText::JustificationName(std::int32_t justification) {
    switch (justification) {
        case kJustifyLeft:
            return "Left";
        case kJustifyRight:
            return "Right";
        case kJustifyLeftBottom:
            return "Left Bottom";
        default:
            return "Center";
    }
}

std::string CGraphText::TextUtf8() const {
    std::string out;
    out.reserve(text_.size());
    for (std::size_t i = 0; i < text_.size(); ++i) {
        char32_t c = text_[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text_.size() && text_[i + 1] >= 0xDC00 &&
            text_[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text_[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = kReplacement;
        }
        AppendUtf8(out, c);
    }
    return out;
}

void CGraphText::SetTextUtf8(const std::string& text) {
    static constexpr char32_t kLeast[4] = {0, 0x80, 0x800, 0x10000};
    std::u16string out;
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char b = s[i];
        int extra = 0;
        char32_t c = 0;
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1;
            c = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2;
            c = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3;
            c = b & 0x07;
        }
        bool ok = extra > 0 && i + static_cast<std::size_t>(extra) < n;
        for (int k = 1; ok && k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                c = (c << 6) | (s[i + k] & 0x3F);
        }
        if (!ok || c < kLeast[extra] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
            AppendUtf16(out, kReplacement);
            ++i;
            continue;
        }
        AppendUtf16(out, c);
        i += static_cast<std::size_t>(extra) + 1;
    }
    text_ = std::move(out);
}

std::vector<std::string> CGraphText::Lines() const {
    std::vector<std::string> lines;
    if (text_.empty()) return lines;
    const std::string s = TextUtf8();
    std::string line;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r' || s[i] == '\n') {
            lines.push_back(line);
            line.clear();
            if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
        } else {
            line += s[i];
        }
    }
    lines.push_back(line);
    return lines;
}

void CGraphText::TakeEdit(const CGraphText& edited) {
    text_ = edited.text_;
    font_ = edited.font_;
    colour_ = edited.colour_;
    justification_ = edited.justification_;
    vertical_ = edited.vertical_;
}

GraphFont CGraphText::DrawingFont(const AnnotationPaint& paint) const {
    GraphFont f = font_;
    if (paint.printing && paint.scale >= 2) {
        const std::int64_t h = static_cast<std::int64_t>(f.height) * paint.scale;
        f.height = static_cast<std::int32_t>(std::clamp<std::int64_t>(h, -100000, 100000));
    }
    return f;
}

Rect CGraphText::PlaceBox(Canvas& canvas, Point anchor) const {
    int w = 0, h = 0;
    for (const std::string& line : Lines()) {
        w = std::max(w, canvas.TextExtent(line).cx);
        h += LineHeight(canvas, line);
    }
    if (vertical_) std::swap(w, h);
    switch (justification_) {
        case kJustifyLeft:
            return {anchor.x, anchor.y - h / 2, anchor.x + w, anchor.y - h / 2 + h};
        case kJustifyRight:
            return {anchor.x - w, anchor.y - h / 2, anchor.x, anchor.y - h / 2 + h};
        case kJustifyLeftBottom:
            return {anchor.x, anchor.y - h, anchor.x + w, anchor.y};
        default:
            return {anchor.x - w / 2, anchor.y - h / 2, anchor.x - w / 2 + w, anchor.y - h / 2 + h};
    }
}

void CGraphText::Draw(Canvas& canvas, const AnnotationPaint& paint) {
    if (!std::isfinite(x_) || !std::isfinite(y_)) return;
    const PixelMap map(paint.plot, paint.x, paint.y);
    if (!map.Valid()) return;
    canvas.SelectFont(CanvasFontOf(DrawingFont(paint)));
    const Rect box = PlaceBox(canvas, map.ToPixel(x_, y_));
    if (paint.record) bounds_ = box;
    if (text_.empty()) return;

    canvas.FillRect(box, paint.blackWhite ? kRgbWhite : paint.background);
    canvas.SetTextColour(paint.blackWhite ? kRgbBlack : colour_);
    canvas.SetTransparentText(true);
    const bool right = justification_ == kJustifyRight;
    const bool centre = justification_ < kJustifyLeft || justification_ > kJustifyLeftBottom;
    auto* turned = vertical_ ? dynamic_cast<TurnedTextCanvas*>(&canvas) : nullptr;
    if (turned) {
        // Lines follow each other rightwards; each reads upwards from the bottom.
        int x = box.left;
        for (const std::string& line : Lines()) {
            const int length = canvas.TextExtent(line).cx;
            const int y = right    ? box.top + length
                          : centre ? box.bottom - (box.Height() - length) / 2
                                   : box.bottom;
            turned->TextOutTurned(x, y, line);
            x += LineHeight(canvas, line);
        }
        return;
    }
    // A canvas that cannot turn text gets it upright from the box's corner.
    int y = box.top;
    for (const std::string& line : Lines()) {
        const int length = canvas.TextExtent(line).cx;
        const int x = right    ? box.right - length
                      : centre ? box.left + (box.Width() - length) / 2
                               : box.left;
        canvas.TextOut(vertical_ ? box.left : x, y, line);
        y += LineHeight(canvas, line);
    }
}

void CGraphText::DrawSelection(Canvas& canvas) const {
    if (bounds_.Empty()) return;
    const Rect r = Inflate(bounds_, 1);
    canvas.SetPen(PenStyle::Dot, 1, kRgbBlack);
    canvas.Polyline({{r.left, r.top},
                     {r.right - 1, r.top},
                     {r.right - 1, r.bottom - 1},
                     {r.left, r.bottom - 1},
                     {r.left, r.top}});
}

AnnotationHit CGraphText::HitTest(Point p) const {
    return RectsMeet(BoxAround(p, 2), bounds_) ? kHitBody : kHitNone;
}

std::unique_ptr<CGraphAnnotation> CGraphText::Clone() const {
    return std::make_unique<CGraphText>(*this);
}

void CGraphText::Offset(double dx, double dy) {
    x_ += dx;
    y_ += dy;
}

void CGraphText::WriteRecord(CIOBuffer& out) const {
    const auto chars = static_cast<std::int32_t>(text_.size());
    out.WriteInt32(chars);
    if (chars > 0) {
        out.WriteUInt32(static_cast<std::uint32_t>(2 * text_.size() + 2));
        std::string bytes;
        bytes.reserve(2 * text_.size() + 2);
        for (char16_t c : text_) {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>(c >> 8);
        }
        bytes.append(2, '\0');
        out.WriteBytes(bytes.data(), bytes.size());
    }
    out.WriteDouble(x_);
    out.WriteDouble(y_);
    out.WriteInt32(justification_);
    out.WriteInt32(vertical_);
    out.WriteUInt32(colour_);
    const auto font = EncodeFontRecord(font_);
    out.WriteUInt32(static_cast<std::uint32_t>(font.size()));
    out.WriteBytes(font.data(), font.size());
}

bool CGraphText::ReadRecord(CIOBuffer& in) {
    if (in.Remaining() < 4) return false;
    const std::int32_t chars = in.ReadInt32();
    if (chars < 0) return false;
    std::u16string text;
    if (chars > 0) {
        // Both counts are checked against what is there before anything is kept.
        const std::uint64_t expected = 2 * static_cast<std::uint64_t>(chars) + 2;
        if (in.Remaining() < 4) return false;
        const std::uint32_t bytes = in.ReadUInt32();
        if (bytes != expected || bytes > in.Remaining()) return false;
        std::string raw(bytes, '\0');
        in.ReadBytes(raw.data(), raw.size());
        text.resize(static_cast<std::size_t>(chars));
        for (std::size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<char16_t>(static_cast<unsigned char>(raw[2 * i]) |
                                            (static_cast<unsigned char>(raw[2 * i + 1]) << 8));
    }
    if (in.Remaining() < 2 * 8 + 4 * 4) return false;
    const double x = in.ReadDouble(), y = in.ReadDouble();
    const std::int32_t justification = in.ReadInt32();
    const std::int32_t vertical = in.ReadInt32();
    const Rgb colour = in.ReadUInt32() & 0xFFFFFF;
    const std::uint32_t fontBytes = in.ReadUInt32();
    if (!std::isfinite(x) || !std::isfinite(y)) return false;
    if (fontBytes < kFontRecordBytes || fontBytes > in.Remaining()) return false;
    std::uint8_t raw[kFontRecordBytes];
    in.ReadBytes(raw, sizeof raw);
    const GraphFont font = DecodeFontRecord(raw);
    if (font.height < -kMaxFontHeight || font.height > kMaxFontHeight) return false;

    text_ = std::move(text);
    SetAnchor(x, y);
    justification_ = justification;
    SetVertical(vertical);
    colour_ = colour;
    font_ = font;
    return true;
}

}  // namespace kurvex
