#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
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

// The name of the reader the table picks for the file at `path`.
inline std::string ReaderName(const std::string& path) {
    std::string head, error;
    EXPECT_TRUE(ReadHead(path, head, error)) << error;
    return ReaderFor(head, path).name;
}

}  // namespace kurvex::test
