#include "analysis/MeasSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "data/platform/NameText.h"

namespace kurvex {

namespace {

constexpr std::size_t kHeadBytes = 64 * 1024;

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool Blank(char c) {
    return c == ' ' || c == '\t' || c == '\f' || c == '\v';
}

// The lines of `text` without their line ends (CR LF too).
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

std::size_t FirstNonBlank(std::string_view line) {
    std::size_t p = 0;
    while (p < line.size() && Blank(line[p])) ++p;
    return p;
}

// The first word of `line`, in lower case.
std::string FirstWord(std::string_view line) {
    const std::size_t p = FirstNonBlank(line);
    std::size_t end = p;
    while (end < line.size() && !Blank(line[end])) ++end;
    return Lower(line.substr(p, end - p));
}

bool IsMeasWord(const std::string& word) {
    return word == ".meas" || word == ".measure";
}

bool IsComment(const std::string& word) {
    return word.empty() || word[0] == '*' || word[0] == ';';
}

// A control-block command given its dot; the dot takes the place of the
// blank before it when there is one, so columns still point into the file.
std::string Dotted(std::string_view line) {
    std::string text(line);
    const std::size_t p = FirstNonBlank(line);
    if (p > 0)
        text[p - 1] = '.';
    else
        text.insert(text.begin(), '.');
    return text;
}

// UTF-16 text (after its byte order mark) as UTF-8; false for broken pairs.
bool FromUtf16(std::string_view bytes, bool bigEndian, std::string& out) {
    if (bytes.size() % 2) return false;
    out.clear();
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        auto unit = [&](std::size_t at) -> std::uint32_t {
            const auto a = static_cast<unsigned char>(bytes[at]);
            const auto b = static_cast<unsigned char>(bytes[at + 1]);
            return bigEndian ? (a << 8 | b) : (b << 8 | a);
        };
        std::uint32_t cp = unit(i);
        if (cp >= 0xDC00 && cp <= 0xDFFF) return false;
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 3 >= bytes.size()) return false;
            const std::uint32_t low = unit(i + 2);
            if (low < 0xDC00 || low > 0xDFFF) return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        if (cp == 0) return false;
        AppendUtf8(out, cp);
    }
    return true;
}

// True when `head`, the start of a longer file when `cut`, is UTF-8: a
// character the cut splits counts as whole.
bool HeadIsUtf8(std::string_view head, bool cut) {
    if (IsUtf8(head)) return true;
    if (!cut) return false;
    for (std::size_t drop = 1; drop <= 3 && drop < head.size(); ++drop)
        if (IsUtf8(head.substr(0, head.size() - drop))) return true;
    return false;
}

}  // namespace

MeasSourceKind MeasSourceKindOf(std::string_view path, std::string_view head) {
    const std::string ext = Lower(std::filesystem::path(path).extension().string());
    for (const char* e : {".cir", ".net", ".sp", ".spi", ".ckt"})
        if (ext == e) return MeasSourceKind::Netlist;
    if (ext == ".asc") return MeasSourceKind::Schematic;
    const std::vector<std::string_view> lines = SplitLines(head);
    if (!lines.empty() && lines[0].substr(0, 8) == "Version ") {
        for (std::string_view line : lines)
            if (line.substr(0, 6) == "SHEET ") return MeasSourceKind::Schematic;
    }
    // A script holds measurements only; these belong to a netlist.
    for (std::string_view line : lines) {
        const std::string word = FirstWord(line);
        for (const char* netlist : {".end", ".control", ".tran", ".ac", ".dc", ".op", ".subckt",
                                    ".model", ".include", ".lib", ".option", ".options"})
            if (word == netlist) return MeasSourceKind::Netlist;
    }
    return MeasSourceKind::Script;
}

std::vector<MeasSourceLine> ExtractMeasLines(std::string_view text) {
    const std::vector<std::string_view> lines = SplitLines(text);
    std::vector<MeasSourceLine> out;
    bool control = false, taking = false;
    // The first line of a netlist is its title, whatever it says.
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        const std::string word = FirstWord(lines[i]);
        // Comments may sit between a line and its continuations.
        if (IsComment(word)) continue;
        if (word[0] == '+') {
            if (taking) out.push_back({number, std::string(lines[i])});
            continue;
        }
        taking = false;
        if (word == ".control") {
            control = true;
        } else if (word == ".endc") {
            control = false;
        } else if (word == ".end" && !control) {
            break;
        } else if (IsMeasWord(word)) {
            out.push_back({number, std::string(lines[i])});
            taking = true;
        } else if (control && (word == "meas" || word == "measure")) {
            out.push_back({number, Dotted(lines[i])});
            taking = true;
        }
    }
    return out;
}

std::vector<MeasSourceLine> ExtractSchematicMeasLines(std::string_view text) {
    const std::vector<std::string_view> lines = SplitLines(text);
    std::vector<MeasSourceLine> out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        if (FirstWord(line) != "text") continue;
        // TEXT X Y ALIGN SIZE then '!' and a directive, or ';' and a comment.
        const std::size_t mark = line.find_first_of("!;");
        if (mark == std::string_view::npos || line[mark] != '!') continue;
        std::string_view directive = line.substr(mark + 1);
        bool taking = false;
        // Several directives in one TEXT are joined by a written "\n".
        for (std::size_t at = 0; at <= directive.size();) {
            std::size_t end = directive.find("\\n", at);
            if (end == std::string_view::npos) end = directive.size();
            const std::string_view piece = directive.substr(at, end - at);
            const std::string word = FirstWord(piece);
            if (IsMeasWord(word) || (taking && !word.empty() && word[0] == '+')) {
                out.push_back({static_cast<int>(i) + 1, std::string(piece)});
                taking = true;
            } else {
                taking = false;
            }
            at = end + 2;
        }
    }
    return out;
}

std::vector<MeasSourceLine> MeasLinesOf(std::string_view text, MeasSourceKind kind) {
    if (kind == MeasSourceKind::Netlist) return ExtractMeasLines(text);
    if (kind == MeasSourceKind::Schematic) return ExtractSchematicMeasLines(text);
    std::vector<MeasSourceLine> out;
    const std::vector<std::string_view> lines = SplitLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i)
        out.push_back({static_cast<int>(i) + 1, std::string(lines[i])});
    return out;
}

bool ReadMeasSource(const std::string& path, std::vector<MeasSourceLine>& lines,
                    std::string& error) {
    lines.clear();
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = path + " is a folder, not a script";
        return false;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) {
        error = "cannot read " + path + ": " + ec.message();
        return false;
    }
    if (size > kMeasSourceMaxBytes) {
        error = path + " is larger than 4 MB: no measurement script";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string text(static_cast<std::size_t>(std::min<std::uintmax_t>(size, kHeadBytes)), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    const bool utf16le = text.rfind("\xFF\xFE", 0) == 0;
    const bool utf16be = text.rfind("\xFE\xFF", 0) == 0;
    if (!utf16le && !utf16be) {
        if (text.find('\0') != std::string::npos) {
            error = path + " holds NUL bytes: not a text file";
            return false;
        }
        if (!HeadIsUtf8(text, size > text.size())) {
            error = path + " is not UTF-8 text";
            return false;
        }
    }
    std::string rest((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "cannot read " + path;
        return false;
    }
    text += rest;
    // LTspice may save a schematic as UTF-16.
    if (utf16le || utf16be) {
        std::string decoded;
        if (!FromUtf16(std::string_view(text).substr(2), utf16be, decoded)) {
            error = path + " is not UTF-16 text";
            return false;
        }
        text = std::move(decoded);
    } else if (text.rfind("\xEF\xBB\xBF", 0) == 0) {
        text.erase(0, 3);
    }
    lines = MeasLinesOf(text, MeasSourceKindOf(path, std::string_view(text).substr(0, kHeadBytes)));
    return true;
}

}  // namespace kurvex
