#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kurvex {

// What reading an INI file from disk gave.
enum class IniReadStatus {
    Ok,       // read and parsed
    Missing,  // no such file: an empty INI
    Failed,   // exists but cannot be read (or is far too large); see the error text
};

// A private-profile (INI) file held as its lines, so that a save writes back
// every line it did not change: comments, unknown lines and keys of other
// programs stay as they were. Section and key names are matched ignoring ASCII
// case and are written verbatim ("FFT Start" keeps its blank); values are text,
// trimmed of blanks and tabs on reading. The first of two equal sections or keys
// is the one that counts.
class IniFile {
public:
    // Larger files are refused: a display layout is a few kilobytes.
    static constexpr std::size_t kMaxFileBytes = 64u << 20;

    // The lines of `text`; anything is accepted, lines that are neither a
    // section header nor a key are kept as they are.
    static IniFile Parse(std::string_view text);

    // Reads the file at `path`; on Missing and Failed the INI is empty, and on
    // Failed `error` names the file and the cause.
    IniReadStatus Load(const std::string& path, std::string& error);
    // Writes the whole text through a temporary file that replaces `path` only
    // when complete; false with `error` set on failure.
    bool Save(const std::string& path, std::string& error) const;

    // The value of `key` in `section`, or null when there is none.
    const std::string* Find(std::string_view section, std::string_view key) const;
    // The value, or `fallback` when the key is absent.
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view fallback = {}) const;
    // The leading decimal integer of the value (saturated to 32 bits, 0 when
    // there is none); `fallback` when the key is absent or its value empty.
    std::int32_t GetInt(std::string_view section, std::string_view key,
                        std::int32_t fallback) const;
    // The decimal value of the text (0 when it is no number); none when the key
    // is absent or its value empty.
    std::optional<double> GetDouble(std::string_view section, std::string_view key) const;

    // Replaces the value of `key`, or adds the key after the last key of its
    // section, or adds the section at the end. Line breaks in `value` become
    // blanks. False (nothing changed) for a name no INI line can carry.
    bool Set(std::string_view section, std::string_view key, std::string_view value);

    // True when a section of that name exists.
    bool HasSection(std::string_view section) const;
    // Names of the sections, in file order, as written.
    std::vector<std::string> Sections() const;
    // Names of the keys of `section`, in file order, as written; each once.
    std::vector<std::string> Keys(std::string_view section) const;

    // The whole file, every line ended by CR LF.
    std::string Text() const;

private:
    struct Line {
        std::string text;  // as read, or as Set wrote it
        std::string key;   // empty for a line that holds no key
        std::string value;
    };
    struct Block {
        bool hasHeader = false;  // false only for the lines before the first section
        std::string header;      // the header line as read
        std::string name;
        std::vector<Line> lines;
        std::unordered_map<std::string, std::size_t> keyIndex;  // folded key -> line
        std::size_t keyLines = 0;  // lines up to and including the last key line
    };

    void AddLine(std::string_view line);
    const Block* FindBlock(std::string_view section) const;
    Block* FindBlock(std::string_view section);

    std::vector<Block> blocks_;
    std::unordered_map<std::string, std::size_t> sectionIndex_;  // folded name -> block
};

}  // namespace kurvex
