// Feeds arbitrary bytes to the text result reader.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "data/ByteSource.h"
#include "data/TextReader.h"

namespace {
class Quiet : public kurvex::UserMessages {
public:
    void Show(const std::string&, kurvex::MessageIcon) override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kurvex::MemoryByteSource source(std::string_view(reinterpret_cast<const char*>(data), size));
    kurvex::CResultDataRef result;
    std::vector<std::string> names;
    Quiet quiet;
    if (kurvex::ReadTextResult(source, result, names, quiet)) {
        // Whatever was read must be consistent.
        if (names.size() != static_cast<size_t>(result->VariableCount())) __builtin_trap();
        if (result->RowCount() < 1 || result->RowCount() > result->RowCapacity()) __builtin_trap();
    }
    return 0;
}
