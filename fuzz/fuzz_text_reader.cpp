// Feeds arbitrary bytes to the text result reader, line by line and in small
// parallel chunks, and checks that both readings agree.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

#include "data/ByteSource.h"
#include "data/TextReader.h"

namespace {

class Recorder : public kurvex::UserMessages {
public:
    void Show(const std::string& text, kurvex::MessageIcon) override { shown += text + "\n"; }
    std::string shown;
};

struct Outcome {
    bool ok = false;
    kurvex::CResultDataRef data;
    std::vector<std::string> names;
    Recorder messages;
};

void Read(std::string_view bytes, size_t chunk, Outcome& out) {
    kurvex::MemoryByteSource source(bytes);
    kurvex::TextReadOptions options;
    options.parallelChunkBytes = chunk;
    out.ok = kurvex::ReadTextResult(source, out.data, out.names, out.messages, options);
}

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Outcome lines, chunks;
    Read(bytes, 0, lines);
    Read(bytes, 7, chunks);
    Check(lines.ok == chunks.ok);
    Check(lines.messages.shown == chunks.messages.shown);
    if (!lines.ok) return 0;
    const kurvex::CResultData* a = lines.data.Get();
    const kurvex::CResultData* b = chunks.data.Get();
    Check(lines.names == chunks.names);
    Check(lines.names.size() == static_cast<size_t>(a->VariableCount()));
    Check(a->RowCount() >= 1 && a->RowCount() <= a->RowCapacity());
    Check(a->RowCount() == b->RowCount() && a->VariableCount() == b->VariableCount());
    for (std::int32_t i = 0; i < a->VariableCount(); ++i) {
        const size_t rows = static_cast<size_t>(a->RowCount());
        Check(std::memcmp(a->Variable(i)->Flags(), b->Variable(i)->Flags(), rows) == 0);
        Check(std::memcmp(a->Variable(i)->Values(), b->Variable(i)->Values(),
                          rows * sizeof(double)) == 0);
    }
    return 0;
}
