#include "analysis/ViewFiles.h"

#include "analysis/SpectrumExport.h"
#include "data/SafeFile.h"
#include "graph/Export.h"

namespace kurvex {

std::vector<std::string> NameFilters(const std::string& filterList) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= filterList.size()) {
        size_t bar = filterList.find('|', start);
        if (bar == std::string::npos) bar = filterList.size();
        parts.push_back(filterList.substr(start, bar - start));
        start = bar + 1;
    }
    std::vector<std::string> filters;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty()) break;  // the closing "||"
        std::string patterns = parts[i + 1];
        for (char& c : patterns)
            if (c == ';') c = ' ';
        filters.push_back(parts[i] + " (" + patterns + ")");
    }
    return filters;
}

std::string WithFilterExtension(const std::string& path, const std::string& nameFilter) {
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name.find('.') != std::string::npos) return path;
    const size_t star = nameFilter.find("*.");
    if (star == std::string::npos) return path;
    size_t end = star + 2;
    while (end < nameFilter.size() && nameFilter[end] != ' ' && nameFilter[end] != ')' &&
           nameFilter[end] != ';')
        ++end;
    const std::string extension = nameFilter.substr(star + 1, end - star - 1);
    if (extension == "." || extension.find('*') != std::string::npos) return path;
    return path + extension;
}

bool SaveViewAs(const std::vector<const CGraphCurve*>& screens, int entry, const std::string& path,
                UserMessages& messages, FftWindow window) {
    if (screens.empty()) return false;
    const CGraphCurve& last = *screens.back();
    if (!last.FreqDisplay()) return SaveTimeDisplay(screens, entry, path, messages);
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
