// Reads arbitrary bytes as a SPICE raw file. What reads must be a whole data
// set of the size its header gave; what is refused must say why once and
// leave the caller's data set alone; what is no raw file says nothing.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "data/formats/RawFile.h"

namespace {

using fuzzsupport::Check;
using fuzzsupport::Recorder;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (std::int32_t plot : {0, 1}) {
        Recorder messages;
        kurvex::CResultDataRef set;
        set.Initialise(kurvex::kDataSetPlain, 1, 3, 100);
        std::vector<kurvex::RawPlot> plots;
        kurvex::RawReadOptions options;
        options.plot = plot;
        std::string why;
        const kurvex::RawReadResult r =
            kurvex::ReadRawBytes(bytes, "fuzz", set, plots, messages, options, &why);
        if (r != kurvex::RawReadResult::Read) {
            Check(messages.shown.size() == (r == kurvex::RawReadResult::Failed ? 1u : 0u));
            Check(r == kurvex::RawReadResult::Failed || !why.empty());
            Check(set->VariableCount() == 1 && set->RowCapacity() == 3);
            continue;
        }
        Check(messages.shown.empty());
        Check(static_cast<std::size_t>(plot) < plots.size());
        const kurvex::RawPlot& p = plots[static_cast<std::size_t>(plot)];
        Check(set->RowCount() == p.points && p.points > 0);
        // Every point of a plot takes bytes of the file.
        Check(static_cast<std::uint64_t>(set->RowCount()) <= size);
        Check(set->VariableCount() == (p.complex ? 2 * p.variables - 1 : p.variables));
        for (std::int32_t i = 0; i < set->VariableCount(); ++i) {
            const kurvex::CResultVariable* v = set->Variable(i);
            Check(!v->Name().empty());
            Check(std::isfinite(v->Min()) && std::isfinite(v->Max()) && v->Min() <= v->Max());
            for (std::int32_t k = 0; k < set->RowCount(); ++k) {
                if (v->Flags()[k] == kurvex::kPointValid) Check(std::isfinite(v->Values()[k]));
            }
        }
    }
    return 0;
}
