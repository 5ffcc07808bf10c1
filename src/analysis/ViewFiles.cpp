#include "analysis/ViewFiles.h"

#include "analysis/SpectrumExport.h"
#include "data/platform/SafeFile.h"
#include "graph/Export.h"

namespace kurvex {

bool SaveViewAs(const std::vector<const CGraphCurve*>& screens, int entry, const std::string& path,
                UserMessages& messages, FftWindow window, std::int32_t run) {
    if (screens.empty()) return false;
    const CGraphCurve& last = *screens.back();
    if (!last.FreqDisplay()) return SaveTimeDisplay(screens, entry, path, messages, run);
    if (entry < kSpectrumFftFile || entry > kSpectrumComma) return false;
    const std::vector<RefPtr<CResultVariable>> columns = SpectrumColumns(screens);
    if (columns.empty()) return false;
    SafeFile file;
    if (!file.Open(path)) {
        messages.Show(file.Error(), MessageIcon::Stop);
        return false;
    }
    const FrequencyState& f = last.Frequency();
    if (!WriteSpectra(file.Stream(), entry, f.fftStart, f.fftEnd, columns, window) ||
        !file.Commit()) {
        messages.Show(file.Error().empty() ? "Failed to save file." : file.Error(),
                      MessageIcon::Stop);
        return false;
    }
    return true;
}

}  // namespace kurvex
