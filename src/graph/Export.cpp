#include "graph/Export.h"

#include <cctype>

#include "data/formats/BlockContainerFile.h"
#include "data/formats/MatFile.h"
#include "data/formats/SettingsDataFile.h"
#include "data/formats/TextWriter.h"
#include "data/platform/SafeFile.h"
#include "graph/DisplayRecord.h"

namespace kurvex {

namespace {

bool IsFrequencyName(std::string name) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name == "frequency" || name == "freq" || name == "freq.";
}

// Run `run` of `data` as a data set of its own; the data set itself for run 1.
CResultDataRef RunOf(const CResultDataRef& data, std::int32_t run) {
    if (run <= 0 || !data->Run(run)) return data;
    CResultDataRef own;
    own.ShareColumnsOf(*data->Run(run));
    return own;
}

CIOBuffer StreamOf(const std::vector<const CGraphCurve*>& screens) {
    CIOBuffer stream;
    WriteDisplayStream(screens, stream);
    return stream;
}

}  // namespace

std::string SaveAsFilter(const CGraphCurve& last) {
    const char* tabAndComma =
        "Tab separated text file (Excel compatible)|*.txt|Comma separated file|*.csv|";
    if (last.FreqDisplay()) return std::string("FFT files|*.fft|") + tabAndComma + "|";
    const CResultData* d = last.Data().Get();
    const bool freq = d && d->VariableCount() > 0 && IsFrequencyName(d->Variable(0)->Name());
    return std::string("Kurvex files|*.kfd|") + (freq ? "Text files|*.fra|" : "Text files|*.txt|") +
           tabAndComma + "MATLAB file|*.mat||";
}

bool SaveTimeDisplay(const std::vector<const CGraphCurve*>& screens, int entry,
                     const std::string& path, UserMessages& messages, std::int32_t run) {
    if (screens.empty()) return false;
    const CResultDataRef data = RunOf(screens.back()->Data(), run);
    if (entry == 1) {
        if (WriteBlockContainer(data, path, nullptr, {StreamOf(screens)}, messages)) return true;
        messages.Show("Failed to save file.", MessageIcon::None);
        return false;
    }
    if (entry == 5) return WriteMatFile(*data.Get(), path, messages);
    if (entry < 2 || entry > 4) return false;
    SafeFile file;
    if (!file.Open(path)) {
        messages.Show(file.Error(), MessageIcon::Stop);
        return false;
    }
    const int mode = entry == 2 ? kExportFixedWidth : entry == 3 ? kExportTab : kExportComma;
    if (!ExportDataSet(data, file.Stream(), nullptr, mode) || !file.Commit()) {
        messages.Show(file.Error().empty() ? "Failed to save file." : file.Error(),
                      MessageIcon::Stop);
        return false;
    }
    return true;
}

bool SaveDataAndSettings(const std::vector<const CGraphCurve*>& screens, const std::string& path,
                         UserMessages& messages, std::int32_t run) {
    if (screens.empty()) return false;
    CIOBuffer stream = StreamOf(screens);
    return SaveSettingsDataFile(path, RunOf(screens.back()->Data(), run), nullptr, stream,
                                messages);
}

}  // namespace kurvex
