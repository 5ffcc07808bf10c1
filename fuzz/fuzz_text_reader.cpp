// Feeds arbitrary bytes to the text result reader line by line and in small
// chunks on several threads, and checks that every reading leaves the same.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

#include "data/formats/TextReader.h"
#include "data/platform/ByteSource.h"

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

void Read(std::string_view bytes, size_t chunk, int threads, Outcome& out) {
    kurvex::MemoryByteSource source(bytes);
    kurvex::TextReadOptions options;
    options.parallelChunkBytes = chunk;
    options.threads = threads;
    out.ok = kurvex::ReadTextResult(source, out.data, out.names, out.messages, options);
}

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void CheckSame(const Outcome& a, const Outcome& b) {
    Check(a.ok == b.ok);
    Check(a.messages.shown == b.messages.shown);
    if (!a.ok) return;
    const kurvex::CResultData* x = a.data.Get();
    const kurvex::CResultData* y = b.data.Get();
    Check(a.names == b.names);
    Check(a.names.size() == static_cast<size_t>(x->VariableCount()));
    Check(x->RowCount() >= 1 && x->RowCount() <= x->RowCapacity());
    Check(x->RowCount() == y->RowCount() && x->VariableCount() == y->VariableCount());
    Check(x->RowCapacity() == y->RowCapacity());
    Check(x->UniformX() == y->UniformX() && x->BadPoints() == y->BadPoints());
    const size_t rows = static_cast<size_t>(x->RowCount());
    for (std::int32_t i = 0; i < x->VariableCount(); ++i) {
        const kurvex::CResultVariable* u = x->Variable(i);
        const kurvex::CResultVariable* v = y->Variable(i);
        Check(u->Name() == v->Name());
        Check(SameBits(u->Min(), v->Min()) && SameBits(u->Max(), v->Max()));
        Check(std::memcmp(u->Flags(), v->Flags(), rows) == 0);
        Check(std::memcmp(u->Values(), v->Values(), rows * sizeof(double)) == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Outcome lines;
    Read(bytes, 0, 1, lines);
    // Chunks of a few bytes cut nearly every line apart from the next.
    for (const auto& [chunk, threads] : {std::pair<size_t, int>{3, 2}, {29, 3}}) {
        Outcome chunks;
        Read(bytes, chunk, threads, chunks);
        CheckSame(lines, chunks);
    }
    return 0;
}
