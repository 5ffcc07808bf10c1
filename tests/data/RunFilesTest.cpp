#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "data/Document.h"
#include "data/RunFiles.h"

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

}  // namespace
}  // namespace kurvex
