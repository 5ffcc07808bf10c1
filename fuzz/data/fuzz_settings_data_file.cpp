// Reads arbitrary bytes as a data-and-settings file; what reads must write
// back and read again to the same data set, and the settings block after it
// must load or be refused with its message.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "data/formats/SettingsDataFile.h"

namespace {

class Recorder : public kurvex::UserMessages {
public:
    void Show(const std::string& text, kurvex::MessageIcon) override { shown += text + "\n"; }
    std::string shown;
};

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

// Small enough to write back on every run.
constexpr std::int64_t kRewriteCells = 1 << 16;

void CheckRewrite(const kurvex::CResultDataRef& a) {
    std::FILE* f = std::tmpfile();
    if (!f) return;
    Check(kurvex::WriteSettingsDataPart(a, f, nullptr));
    Recorder messages;
    kurvex::CResultDataRef b;
    Check(kurvex::ReadSettingsDataPart(f, b, messages, "again") == kurvex::DataPartResult::Read);
    Check(messages.shown.empty());
    std::fclose(f);
    Check(a->VariableCount() == b->VariableCount() && a->RowCount() == b->RowCount());
    Check(a->UniformX() == b->UniformX());
    const auto rows = static_cast<size_t>(a->RowCount());
    for (std::int32_t i = 0; i < a->VariableCount(); ++i) {
        const kurvex::CResultVariable* va = a->Variable(i);
        const kurvex::CResultVariable* vb = b->Variable(i);
        Check(va->Name() == vb->Name() ||
              (!va->HasName() && (vb->Name() == "Time" || vb->Name()[0] == 'Y')));
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
    const kurvex::DataPartResult result = kurvex::ReadSettingsDataPart(f, set, messages, "fuzz");
    Check((result == kurvex::DataPartResult::Refused) == !messages.shown.empty());
    if (result == kurvex::DataPartResult::Read) {
        Check(set->VariableCount() > 0 && set->RowCount() > 0);
        Check(set->RowCount() <= set->RowCapacity());
        kurvex::CIOBuffer settings;
        settings.SetMode(kurvex::kIOBufferLoad);
        settings.Attach(f);
        try {
            Check(settings.Transfer());
            Check(settings.Size() <= kurvex::kIOBufferMaxTransfer);
        } catch (const kurvex::CIOBufferException& e) {
            Check(e.GetCause() == kurvex::CIOBufferException::kTooLarge);
        }
        if (static_cast<std::int64_t>(set->VariableCount()) * set->RowCount() <= kRewriteCells)
            CheckRewrite(set);
    } else if (result == kurvex::DataPartResult::Empty) {
        Check(set->VariableCount() == 0);
    }
    std::fclose(f);
    return 0;
}
