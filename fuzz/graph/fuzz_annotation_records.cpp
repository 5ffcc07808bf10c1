// Reads arbitrary bytes as a screen's annotation records through the factory,
// checks that what was read writes back to bytes that read the same, and
// draws and hit-tests what came in.
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/platform/IOBuffer.h"
#include "graph/Annotations.h"
#include "graph/GraphCurve.h"
#include "graph/canvas/TurnedTextCanvas.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

// Checks that every line stays near the plot and that text is measured sanely.
class CheckingCanvas : public kurvex::Canvas, public kurvex::TurnedTextCanvas {
public:
    explicit CheckingCanvas(const kurvex::Rect& near) : near_(near) {}
    void FillRect(const kurvex::Rect&, kurvex::Colour) override {}
    void SetTextColour(kurvex::Colour) override {}
    void SetBackgroundColour(kurvex::Colour) override {}
    void SetTransparentText(bool) override {}
    void SelectFont(const kurvex::CanvasFont& f) override { Check(f.height >= 1); }
    void TextOut(int, int, const std::string&) override {}
    void TextOutTurned(int, int, const std::string&) override {}
    kurvex::Size TextExtent(const std::string& text) override {
        return {7 * static_cast<int>(text.size() % 100000), 15};
    }
    int DrawWrappedText(const kurvex::Rect&, const std::string&, bool) override { return 15; }
    void SetPen(kurvex::PenStyle, int width, kurvex::Colour) override {
        Check(width >= 1 && width <= 255 * 4);
    }
    void SetBrush(kurvex::Colour) override {}
    void MoveTo(int x, int y) override { Near(x, y); }
    void LineTo(int x, int y) override { Near(x, y); }
    void Polyline(const std::vector<kurvex::Point>&) override {}
    void Polygon(const std::vector<kurvex::Point>&) override {}
    void Ellipse(const kurvex::Rect&) override {}
    void SetClip(const kurvex::Rect*) override {}
    void SetInchMapping(bool) override {}

private:
    void Near(int x, int y) {
        Check(x >= near_.left - 1100 && x <= near_.right + 1100);
        Check(y >= near_.top - 1100 && y <= near_.bottom + 1100);
    }
    kurvex::Rect near_;
};

std::string Rewrite(const kurvex::CGraphCurve& model) {
    kurvex::CIOBuffer out;
    kurvex::WriteAnnotations(model.Annotations(), out);
    return std::string(out.Bytes());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kurvex;
    CIOBuffer in;
    in.Assign({reinterpret_cast<const char*>(data), size});
    CGraphCurve model;
    const std::int32_t read = ReadAnnotations(in, model);
    Check(read >= 0 && static_cast<std::size_t>(read) == model.Annotations().size());
    Check(read <= static_cast<std::int32_t>(size / 8));

    const std::string once = Rewrite(model);
    CIOBuffer again;
    again.Assign(once);
    CGraphCurve copy;
    Check(ReadAnnotations(again, copy) == read);
    Check(Rewrite(copy) == once);

    model.SetPlot({40, 30, 540, 330});
    model.StoreX({0, 1}, {-1.0, 1.0, 0.5});
    model.StoreY({0, 1}, {-1.0, 1.0, 0.5});
    for (const auto& a : model.Annotations()) model.AnnotationSelection().push_back(a.get());
    CheckingCanvas canvas(model.Plot());
    DrawOptions options;
    DrawAnnotations(model, canvas, model.Plot(), options);
    options.printing = true;
    options.scale = 4;
    options.recordLegend = false;
    DrawAnnotations(model, canvas, model.Plot(), options);
    for (const auto& a : model.Annotations()) {
        a->HitTest({200, 200});
        a->Intersects({100, 100, 300, 300});
        std::unique_ptr<CGraphAnnotation> c = a->Clone();
        Check(c && c->Type() == a->Type());
    }
    TopmostAt(model, {290, 180});
    MoveSelectedAnnotations(model, 3, -4);
    DeleteSelectedAnnotations(model);
    Check(model.Annotations().empty());
    return 0;
}
