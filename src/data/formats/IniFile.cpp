#include "data/formats/IniFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "data/platform/NumberText.h"
#include "data/platform/SafeFile.h"

namespace kurvex {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string Fold(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
    IniFile ini;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ini.AddLine(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return ini;
}

void IniFile::AddLine(std::string_view line) {
    const std::string_view t = Trim(line);
    if (!t.empty() && t.front() == '[') {
        const size_t close = t.find(']');
        if (close != std::string_view::npos) {
            Block b;
            b.hasHeader = true;
            b.header = std::string(line);
            b.name = std::string(Trim(t.substr(1, close - 1)));
            sectionIndex_.try_emplace(Fold(b.name), blocks_.size());
            blocks_.push_back(std::move(b));
            return;
        }
    }
    if (blocks_.empty()) blocks_.emplace_back();
    Block& b = blocks_.back();
    Line l;
    l.text = std::string(line);
    const size_t eq = t.find('=');
    const bool comment = !t.empty() && (t.front() == ';' || t.front() == '#');
    if (!comment && eq != std::string_view::npos && b.hasHeader) {
        const std::string_view key = Trim(t.substr(0, eq));
        if (!key.empty()) {
            l.key = std::string(key);
            l.value = std::string(Trim(t.substr(eq + 1)));
            b.keyIndex.try_emplace(Fold(key), b.lines.size());
            b.keyLines = b.lines.size() + 1;
        }
    }
    b.lines.push_back(std::move(l));
}

IniReadStatus IniFile::Load(const std::string& path, std::string& error) {
    *this = IniFile();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (errno == ENOENT) return IniReadStatus::Missing;
        error = Format("Cannot read \"%s\": %s.", path.c_str(), std::strerror(errno));
        return IniReadStatus::Failed;
    }
    // Read in pieces up to the limit: a special file may report no size at all.
    std::string text;
    char buffer[1 << 16];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        if (text.size() + n > kMaxFileBytes) {
            std::fclose(f);
            error = Format("Cannot read \"%s\": the file is larger than %zu bytes.", path.c_str(),
                           kMaxFileBytes);
            return IniReadStatus::Failed;
        }
        text.append(buffer, n);
    }
    const bool failed = std::ferror(f) != 0;
    const int err = errno;
    std::fclose(f);
    if (failed) {
        error = Format("Cannot read \"%s\": %s.", path.c_str(), std::strerror(err));
        return IniReadStatus::Failed;
    }
    *this = Parse(text);
    return IniReadStatus::Ok;
}

bool IniFile::Save(const std::string& path, std::string& error) const {
    SafeFile out;
    if (!out.Open(path)) {
        error = out.Error();
        return false;
    }
    const std::string text = Text();
    std::fwrite(text.data(), 1, text.size(), out.Stream());
    if (!out.Commit()) {
        error = out.Error();
        return false;
    }
    return true;
}

const IniFile::Block* IniFile::FindBlock(std::string_view section) const {
    const auto it = sectionIndex_.find(Fold(section));
    return it == sectionIndex_.end() ? nullptr : &blocks_[it->second];
}

IniFile::Block* IniFile::FindBlock(std::string_view section) {
    const auto it = sectionIndex_.find(Fold(section));
    return it == sectionIndex_.end() ? nullptr : &blocks_[it->second];
}

const std::string* IniFile::Find(std::string_view section, std::string_view key) const {
    const Block* b = FindBlock(section);
    if (!b) return nullptr;
    const auto it = b->keyIndex.find(Fold(key));
    return it == b->keyIndex.end() ? nullptr : &b->lines[it->second].value;
}

std::string IniFile::GetString(std::string_view section, std::string_view key,
                               std::string_view fallback) const {
    const std::string* v = Find(section, key);
    return v ? *v : std::string(fallback);
}

std::int32_t IniFile::GetInt(std::string_view section, std::string_view key,
                             std::int32_t fallback) const {
    const std::string* v = Find(section, key);
    if (!v || v->empty()) return fallback;
    size_t i = 0;
    bool negative = false;
    if (i < v->size() && ((*v)[i] == '-' || (*v)[i] == '+')) negative = (*v)[i++] == '-';
    // Accumulate negatively so that INT32_MIN is reachable; saturate beyond.
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    std::int64_t acc = 0;
    for (; i < v->size() && (*v)[i] >= '0' && (*v)[i] <= '9'; ++i) {
        acc = acc * 10 - ((*v)[i] - '0');
        if (acc < kMin) acc = kMin - 1;  // stays saturated, never overflows
    }
    if (negative) return static_cast<std::int32_t>(acc < kMin ? kMin : acc);
    const std::int64_t pos = -acc;
    return pos > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                          : static_cast<std::int32_t>(pos);
}

std::optional<double> IniFile::GetDouble(std::string_view section, std::string_view key) const {
    const std::string* v = Find(section, key);
    if (!v || v->empty()) return std::nullopt;
    return ParseDecimal(v->data(), v->data() + v->size());
}

bool IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
    // Refuse any name that would not read back as itself.
    if (Trim(section) != section || HasLineBreak(section) ||
        section.find(']') != std::string_view::npos)
        return false;
    if (key.empty() || Trim(key) != key || HasLineBreak(key) ||
        key.find('=') != std::string_view::npos || key.front() == '[' || key.front() == ';' ||
        key.front() == '#')
        return false;
    std::string v(value);
    for (char& c : v) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    Block* b = FindBlock(section);
    if (!b) {
        Block nb;
        nb.hasHeader = true;
        nb.name = std::string(section);
        nb.header = "[" + nb.name + "]";
        sectionIndex_.emplace(Fold(section), blocks_.size());
        blocks_.push_back(std::move(nb));
        b = &blocks_.back();
    }
    const std::string folded = Fold(key);
    const auto it = b->keyIndex.find(folded);
    if (it != b->keyIndex.end()) {
        Line& l = b->lines[it->second];
        l.value = std::string(Trim(v));
        l.text = l.key + "=" + v;
        return true;
    }
    Line l;
    l.key = std::string(key);
    l.value = std::string(Trim(v));
    l.text = l.key + "=" + v;
    // Only lines without keys follow the last key line, so no index moves.
    b->lines.insert(b->lines.begin() + static_cast<std::ptrdiff_t>(b->keyLines), std::move(l));
    b->keyIndex.emplace(folded, b->keyLines);
    ++b->keyLines;
    return true;
}

bool IniFile::HasSection(std::string_view section) const {
    return FindBlock(section) != nullptr;
}

std::vector<std::string> IniFile::Sections() const {
    std::vector<std::string> out;
    for (size_t i = 0; i < blocks_.size(); ++i) {
        const Block& b = blocks_[i];
        if (!b.hasHeader) continue;
        if (sectionIndex_.at(Fold(b.name)) == i) out.push_back(b.name);
    }
    return out;
}

std::vector<std::string> IniFile::Keys(std::string_view section) const {
    std::vector<std::string> out;
    const Block* b = FindBlock(section);
    if (!b) return out;
    for (size_t i = 0; i < b->lines.size(); ++i) {
        const Line& l = b->lines[i];
        if (!l.key.empty() && b->keyIndex.at(Fold(l.key)) == i) out.push_back(l.key);
    }
    return out;
}

std::string IniFile::Text() const {
    std::string out;
    for (const Block& b : blocks_) {
        if (b.hasHeader) out += b.header + "\r\n";
        for (const Line& l : b.lines) out += l.text + "\r\n";
    }
    return out;
}

}  // namespace kurvex
