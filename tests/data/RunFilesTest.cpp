#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "data/document/Document.h"
#include "data/document/RunFiles.h"

namespace kurvex {
namespace {

namespace fs = std::filesystem;

TEST(RunFiles, FilesOpenAsRunsOfOneResultAndReloadAsRuns) {
    const fs::path dir = test::FreshDir("runfiles");
    fs::create_directories(dir / "1");
    fs::create_directories(dir / "2");
    test::Spit(dir / "1" / "out.txt", "Time V\n0 1\n1 2\n2 3\n");
    test::Spit(dir / "2" / "out.txt", "Time V W\n0 5 0\n0.5 6 1\n");
    test::Spit(dir / "freq.txt", "Frequency V\n1 1\n2 2\n");
    test::RecordingMessages messages;
    COhmixGraphDoc doc(messages);
    ASSERT_TRUE(doc.OpenRuns({(dir / "1" / "out.txt").string(), (dir / "2" / "out.txt").string()}));
    const CResultData* d = doc.Data().Get();
    ASSERT_EQ(d->RunCount(), 2);
    EXPECT_EQ(d->RunName(0), "1/out");
    EXPECT_EQ(d->RunName(1), "2/out");
    EXPECT_EQ(d->Run(0)->RowCount(), 3);
    EXPECT_EQ(d->Run(1)->RowCount(), 2);
    EXPECT_EQ(d->Run(1)->Variable(1)->Values()[1], 6.0);

    // Another X cannot join: said, and the result stays as it was.
    EXPECT_FALSE(doc.AddRunFile((dir / "freq.txt").string()));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].first.find("\"Frequency\", not \"Time\""), std::string::npos);
    EXPECT_EQ(doc.Data()->RunCount(), 2);
    EXPECT_EQ(doc.Files().size(), 2u);

    // A reload reads every run again, and a run that grew shows it.
    test::Spit(dir / "2" / "out.txt", "Time V\n0 5\n0.5 6\n1 7\n");
    CResultDataRef fresh;
    ASSERT_EQ(doc.Reload(fresh), COhmixGraphDoc::ReloadResult::Loaded);
    ASSERT_EQ(fresh->RunCount(), 2);
    EXPECT_EQ(fresh->Run(1)->RowCount(), 3);
    EXPECT_EQ(fresh->RunName(1), "2/out");
    // The shown result was not touched: a view drawing it keeps it whole.
    EXPECT_EQ(d->Run(1)->RowCount(), 2);
}

TEST(RunFiles, FilesReadAtOnceComeOutInOrderWithTheirMessagesInOrder) {
    const fs::path dir = test::FreshDir("atonce");
    std::vector<std::string> paths;
    for (int i = 0; i < 12; ++i) {
        paths.push_back((dir / ("r" + std::to_string(i) + ".txt")).string());
        std::string text = "Time V\n";
        for (int r = 0; r <= i; ++r) text += std::to_string(r) + " " + std::to_string(i) + "\n";
        // Two files cannot be read, and say so in their turn.
        if (i == 3) text = "Time V\n0 x\n";
        if (i == 8)
            text =
                "Title: t\nDate: x\nPlotname: Transient Analysis\nFlags: real\n"
                "No. Variables: 2\nNo. Points: 1\nVariables:\n\t0\ttime\ttime\n"
                "\t1\tv\tvoltage\nValues:\n 0\tx\n\t1\n";
        test::Spit(paths.back(), text);
    }
    test::RecordingMessages messages;
    std::int64_t last = 0, total = 0;
    LoadOptions options;
    options.text.progress = [&](std::int64_t done, std::int64_t all) {
        EXPECT_GE(done, 0);
        last = std::max(last, done);
        total = all;
        return true;
    };
    const std::vector<FileRead> reads = ReadFilesAtOnce(paths, messages, options);
    ASSERT_EQ(reads.size(), paths.size());
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(reads[i].ok, i != 3 && i != 8) << i;
        if (!reads[i].ok) continue;
        EXPECT_EQ(reads[i].data->RowCount(), i + 1);
        EXPECT_EQ(reads[i].data->Variable(1)->Values()[0], i);
    }
    ASSERT_EQ(messages.shown.size(), 2u) << messages.shown[0].first;
    EXPECT_EQ(messages.shown[0].first.find("Plot 1"), std::string::npos);
    EXPECT_NE(messages.shown[1].first.find("r8.txt"), std::string::npos);
    EXPECT_LE(last, total);

    // Cancelled: no file counts as read and none speaks.
    test::RecordingMessages quiet;
    options.text.progress = [](std::int64_t, std::int64_t) { return false; };
    for (const FileRead& r : ReadFilesAtOnce(paths, quiet, options)) EXPECT_FALSE(r.ok);
    EXPECT_TRUE(quiet.shown.empty());
}

}  // namespace
}  // namespace kurvex
