#include "data/formats/QuotedNames.h"

#include "data/formats/TextGrammar.h"
#include "data/platform/NumberText.h"

namespace kurvex {

namespace {

bool IsSeparator(char c) {
    return c == ' ' || c == '\t' || c == ',';
}

}  // namespace

bool SplitNameLine(std::string_view line, std::vector<std::string>& names) {
    size_t i = 0;
    for (;;) {
        while (i < line.size() && IsSeparator(line[i])) ++i;
        if (i == line.size()) return true;
        std::string name;
        if (line[i] != '"') {
            while (i < line.size() && !IsSeparator(line[i])) name += line[i++];
            names.push_back(std::move(name));
            continue;
        }
        for (++i;; ++i) {
            if (i == line.size()) return false;
            if (line[i] != '"') {
                name += line[i];
            } else if (i + 1 < line.size() && line[i + 1] == '"') {
                name += '"';
                ++i;
            } else {
                break;
            }
        }
        ++i;
        if (i < line.size() && !IsSeparator(line[i])) return false;
        // An empty quoted name gets the name of an unnamed column.
        names.push_back(name.empty() ? Format("T(%d)", static_cast<int>(names.size()))
                                     : std::move(name));
    }
}

std::string DelimitedName(const std::string& name) {
    if (name.find_first_of(",\"") == std::string::npos) return name;
    return QuotedName(name);
}

std::string QuotedName(const std::string& name) {
    std::string quoted = "\"";
    for (char c : name) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    return quoted + '"';
}

bool NamesReadAsNumbers(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        for (char c : name) {
            if (!(text::ClassOf(c) & text::kHeaderDigit)) return false;
        }
    }
    return true;
}

}  // namespace kurvex
