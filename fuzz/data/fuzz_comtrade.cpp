// Reads arbitrary bytes as a combined COMTRADE file, and, where they hold a
// data section, as the .cfg/.dat pair made of its parts. What reads must be a
// whole data set with unique valid UTF-8 names; what is refused must say why
// once and leave the caller's data set alone.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "data/formats/ComtradeFile.h"
#include "data/platform/NameText.h"

namespace {

using fuzzsupport::Check;
using fuzzsupport::Recorder;

// This process's own folder, removed when the process ends.
const std::string& Dir() {
    struct Owned {
        std::string path =
            (std::filesystem::temp_directory_path() / "kurvex-fuzz-comtrade-XXXXXX").string();
        Owned() {
            if (!::mkdtemp(path.data())) std::abort();
        }
        ~Owned() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    };
    static const Owned dir;
    return dir.path;
}

void Write(const std::string& path, std::string_view bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

void Read(const std::string& path, std::size_t size) {
    Recorder messages;
    kurvex::CResultDataRef set;
    set.Initialise(kurvex::kDataSetPlain, 1, 3, 100);
    kurvex::BinaryReadOptions options;
    options.memoryLimit = 1u << 30;
    std::vector<std::string> notes;
    if (!kurvex::ReadComtradeFile(path, set, messages, options, &notes)) {
        Check(messages.shown.size() == 1);
        Check(set->VariableCount() == 1 && set->RowCapacity() == 3);
        return;
    }
    Check(messages.shown.empty());
    Check(set->RowCount() > 0 && static_cast<std::uint64_t>(set->RowCount()) <= size);
    for (const std::string& note : notes) Check(kurvex::IsUtf8(note));
    for (std::int32_t i = 0; i < set->VariableCount(); ++i) {
        const kurvex::CResultVariable* v = set->Variable(i);
        Check(!v->Name().empty() && kurvex::IsUtf8(v->Name()) && kurvex::IsUtf8(v->Unit()));
        for (std::int32_t j = 0; j < i; ++j)
            Check(!kurvex::SameName(v->Name(), set->Variable(j)->Name()));
        for (std::int32_t k = 0; k < set->RowCount(); ++k) {
            if (v->Flags()[k] == kurvex::kPointValid) Check(std::isfinite(v->Values()[k]));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string cff = Dir() + "/rec.cff";
    Write(cff, bytes);
    Read(cff, size);
    // The pair: the first section's lines as the .cfg, what follows the data
    // section's header as the .dat.
    const size_t first = bytes.find('\n');
    const size_t header = bytes.find("\n--- file type: DAT");
    if (first == std::string_view::npos || header == std::string_view::npos || header < first)
        return 0;
    const size_t end = bytes.find('\n', header + 1);
    if (end == std::string_view::npos) return 0;
    Write(Dir() + "/rec.cfg", bytes.substr(first + 1, header - first));
    Write(Dir() + "/rec.dat", bytes.substr(end + 1));
    Read(Dir() + "/rec.cfg", size);
    return 0;
}
