// Reads arbitrary bytes as a display-settings stream over a small data set,
// writes the screens it gave and checks that reading them again is stable.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "graph/DisplayRecord.h"

namespace {

kurvex::CResultDataRef MakeData() {
    kurvex::CResultDataRef d;
    d.Initialise(kurvex::kDataSetPlain, 3, 8, 100);
    const char* names[] = {"Time", "Va", "Vb"};
    for (int i = 0; i < 3; ++i) d.SetName(i, names[i]);
    for (int r = 0; r < 8; ++r) {
        const double v[3] = {r * 0.5, r * r - 3.0, 1.0 / (r + 1)};
        const std::uint8_t f[3] = {1, 1, static_cast<std::uint8_t>(r == 4 ? 2 : 1)};
        d.SetRow(r, v, f, 0, 3);
    }
    d.UpdateExtents();
    return d;
}

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const kurvex::CResultDataRef set = MakeData();
    const kurvex::ScreenBasis basis{set, kurvex::CharMetrics{}, nullptr};
    kurvex::CIOBuffer stream;
    stream.Assign(std::string_view(reinterpret_cast<const char*>(data), size));
    kurvex::LoadedScreens first = kurvex::ReadDisplayStream(stream, basis);
    if (first.screens.empty()) return 0;
    std::vector<const kurvex::CGraphCurve*> view;
    for (const auto& s : first.screens) view.push_back(s.get());
    kurvex::CIOBuffer written;
    kurvex::WriteDisplayStream(view, written);
    kurvex::LoadedScreens second = kurvex::ReadDisplayStream(written, basis);
    Check(second.screens.size() == first.screens.size());
    for (size_t i = 0; i < view.size(); ++i) {
        Check(second.screens[i]->CurveCount() == view[i]->CurveCount());
        Check(second.screens[i]->Annotations().size() == view[i]->Annotations().size());
    }
    return 0;
}
