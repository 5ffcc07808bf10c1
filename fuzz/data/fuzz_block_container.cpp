// Reads arbitrary bytes as a block container; what reads must write back and
// read again to the same data set and settings streams, and what is refused
// must say why and leave the caller's data set alone.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "data/formats/BlockContainerFile.h"

namespace {

using fuzzsupport::Check;
using fuzzsupport::Recorder;

// Small enough to write back on every run.
constexpr std::int64_t kRewriteCells = 1 << 16;

const std::string& ScratchPath() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir ? dir : "/tmp") + "/fuzz_block_container." +
               std::to_string(::getpid()) + ".kfd";
    }();
    return path;
}

void CheckRewrite(const kurvex::CResultDataRef& a, const std::vector<kurvex::CIOBuffer>& streams) {
    Recorder messages;
    Check(kurvex::WriteBlockContainer(a, ScratchPath(), nullptr, streams, messages));
    kurvex::CResultDataRef b;
    std::vector<kurvex::CIOBuffer> again;
    Check(kurvex::ReadBlockContainer(ScratchPath(), b, again, messages));
    std::remove(ScratchPath().c_str());
    Check(messages.shown.empty());
    Check(a->VariableCount() == b->VariableCount() && a->RowCount() == b->RowCount());
    Check(a->UniformX() == b->UniformX());
    // Only the variables after X carry the bad-points mark.
    Check(a->BadPoints() == b->BadPoints() || a->VariableCount() == 1);
    Check(again.size() == streams.size());
    for (size_t k = 0; k < streams.size(); ++k) Check(again[k].Bytes() == streams[k].Bytes());
    const auto rows = static_cast<size_t>(a->RowCount());
    for (std::int32_t i = 0; i < a->VariableCount(); ++i) {
        const kurvex::CResultVariable* va = a->Variable(i);
        const kurvex::CResultVariable* vb = b->Variable(i);
        Check(va->Name() == vb->Name());
        // A generated X is regenerated from its own first step: not bit for bit.
        if (i > 0 || !a->UniformX())
            Check(std::memcmp(va->Values(), vb->Values(), rows * sizeof(double)) == 0);
        if (i > 0 && a->BadPoints()) Check(std::memcmp(va->Flags(), vb->Flags(), rows) == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::FILE* f = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (!f) return 0;
    Recorder messages;
    kurvex::CResultDataRef set;
    set.Initialise(kurvex::kDataSetPlain, 1, 3, 100);
    std::vector<kurvex::CIOBuffer> streams(1);
    const bool read = kurvex::ReadBlockContainer(f, "fuzz", set, streams, messages);
    std::fclose(f);
    if (!read) {
        Check(messages.shown.size() == 1);
        Check(set->VariableCount() == 1 && set->RowCapacity() == 3 && streams.size() == 1);
        return 0;
    }
    Check(set->RowCount() <= set->RowCapacity());
    Check((set->VariableCount() == 0) == (set->RowCount() == 0));
    for (const kurvex::CIOBuffer& s : streams) Check(s.Size() <= kurvex::kIOBufferMaxTransfer);
    if (set->VariableCount() > 0 &&
        static_cast<std::int64_t>(set->VariableCount()) * set->RowCount() <= kRewriteCells)
        CheckRewrite(set, streams);
    return 0;
}
