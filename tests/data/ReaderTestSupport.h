#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "data/document/ResultFile.h"
#include "data/formats/ReaderTable.h"
#include "data/model/ResultData.h"

namespace kurvex::test {

// What one read of a file gave: whether it read, the data, messages and notes.
struct ReadOutcome {
    bool read = false;
    CResultDataRef data;
    RecordingMessages messages;
    std::vector<std::string> notes;

    // The first message, for a failure's output.
    std::string First() const { return messages.shown.empty() ? "" : messages.shown[0].first; }
    // The messages and the notes, one a line.
    std::string Said() const {
        std::string all;
        for (const auto& [text, icon] : messages.shown) all += text + "\n";
        for (const std::string& note : notes) all += note + "\n";
        return all;
    }
    bool Noted(const std::string& line) const {
        return std::find(notes.begin(), notes.end(), line) != notes.end();
    }
};

// Reads `path` with one of the binary readers, keeping its notes.
template <class Reader>
void ReadInto(Reader reader, const std::string& path, ReadOutcome& out) {
    out.read = reader(path, out.data, out.messages, {}, &out.notes);
}

// Opens `path` as the viewer does, keeping the readers' notes.
inline void LoadInto(const std::string& path, ReadOutcome& out, LoadOptions options = {}) {
    options.notes = &out.notes;
    out.read = LoadResultFile(path, out.data, nullptr, out.messages, options);
}

// The read failed and said so in one message that holds `said`.
inline void ExpectRefused(const ReadOutcome& o, const std::string& said) {
    EXPECT_FALSE(o.read);
    ASSERT_EQ(o.messages.shown.size(), 1u);
    EXPECT_NE(o.First().find(said), std::string::npos) << o.First();
}

// `file` in the peer folder `dir` when it is there, else in `own` (the test's folder).
inline std::string PeerOrOwn(const std::filesystem::path& dir, const std::string& file,
                             const std::string& own) {
    return std::filesystem::exists(dir / file) ? (dir / file).string() : own;
}

// A number as an instrument printed it, and half a unit of its last printed digit.
struct Printed {
    double value = 0.0, half = 0.0;
};
inline Printed ParsePrinted(const std::string& text) {
    const size_t e = text.find_first_of("eE");
    const std::string mantissa = text.substr(0, e);
    const size_t dot = mantissa.find('.');
    const int decimals = dot == std::string::npos ? 0 : int(mantissa.size() - dot - 1);
    const int exponent = e == std::string::npos ? 0 : std::atoi(text.c_str() + e + 1);
    return {std::strtod(text.c_str(), nullptr), 0.5 * std::pow(10.0, exponent - decimals)};
}

// The fields of the data rows of a scope's CSV export: the lines after the one
// that begins with `heading`, blank ones left out.
inline std::vector<std::vector<std::string>> CsvRows(const std::string& csv,
                                                     const std::string& heading) {
    std::istringstream in(csv);
    std::vector<std::vector<std::string>> rows;
    bool data = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!data || line.empty()) {
            data = data || line.rfind(heading, 0) == 0;
            continue;
        }
        rows.emplace_back();
        for (size_t at = 0;; at = line.find(',', at) + 1) {
            rows.back().push_back(line.substr(at, line.find(',', at) - at));
            if (line.find(',', at) == std::string::npos) break;
        }
    }
    return rows;
}

// The name of the reader the table picks for the file at `path`.
inline std::string ReaderName(const std::string& path) {
    std::string head, error;
    EXPECT_TRUE(ReadHead(path, head, error)) << error;
    return ReaderFor(head, path).name;
}

}  // namespace kurvex::test
