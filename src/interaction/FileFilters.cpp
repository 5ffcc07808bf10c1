#include "interaction/FileFilters.h"

#include <algorithm>

#include "data/formats/ReaderTable.h"

namespace kurvex {

std::vector<std::string> OpenFileFilters() {
    std::vector<std::string> filters;
    for (int g = 0; g < static_cast<int>(OpenGroup::None); ++g) {
        const auto group = static_cast<OpenGroup>(g);
        std::vector<std::string> patterns;
        for (const ReaderRow& row : ReaderTable()) {
            for (const ReaderExtension& e : row.extensions) {
                const std::string pattern = std::string("*.") + e.extension;
                if (e.group == group &&
                    std::find(patterns.begin(), patterns.end(), pattern) == patterns.end())
                    patterns.push_back(pattern);
            }
        }
        if (patterns.empty()) continue;  // a group no reader fills yet
        std::string filter = std::string(OpenGroupName(group)) + " (";
        for (size_t i = 0; i < patterns.size(); ++i) filter += (i ? " " : "") + patterns[i];
        filters.push_back(filter + ")");
    }
    filters.push_back("All files (*)");
    return filters;
}

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

}  // namespace kurvex
