// Reads arbitrary bytes as a MAT file (matio reads by file name, so each input
// goes to a file of this process's own). What reads must be a whole data set
// no longer than the file allows; what is refused must say why once and leave
// the caller's data set alone.
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "data/formats/MatFile.h"

namespace {

using fuzzsupport::Check;
using fuzzsupport::Recorder;

const std::string& InputPath() {
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kurvex-fuzz-mat-XXXXXX";
        if (!::mkdtemp(pattern.data())) std::abort();
        return pattern + "/input.mat";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = InputPath();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);

    Recorder messages;
    kurvex::CResultDataRef set;
    set.Initialise(kurvex::kDataSetPlain, 1, 3, 100);
    const kurvex::CResultData* before = set.Get();
    kurvex::BinaryReadOptions options;
    options.memoryLimit = std::uint64_t{64} << 20;
    std::vector<std::string> notes;
    if (!kurvex::ReadMatFile(path, set, messages, options, &notes)) {
        Check(messages.shown.size() == 1 && set.Get() == before);
        return 0;
    }
    Check(messages.shown.empty() && set->VariableCount() >= 1 && set->RowCount() >= 1);
    for (std::int32_t i = 0; i < set->VariableCount(); ++i) {
        const kurvex::CResultVariable* v = set->Variable(i);
        for (std::int32_t k = 0; k < set->RowCount(); ++k) {
            if (v->Flags()[k] == kurvex::kPointValid) Check(std::isfinite(v->Values()[k]));
        }
    }
    return 0;
}
