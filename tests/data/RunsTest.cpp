#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#include "CacheHome.h"
#include "data/BinaryTestSupport.h"
#include "data/document/Document.h"
#include "data/model/Runs.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

using test::MakeData;

TEST(Runs, ASweepStoredAsOneColumnSplitsWhereXStartsAgain) {
    // Three runs of 3, 2 and 1 rows: the last of a single point.
    CResultDataRef data = MakeData({"time", "V"}, {{0, 1, 2, 0, 1.5, 0}, {10, 11, 12, 20, 21, 30}});
    data.Get()->Variable(1)->SetUnit("V");
    const std::vector<std::int32_t> starts = RunStarts(*data.Get());
    ASSERT_EQ(starts, (std::vector<std::int32_t>{0, 3, 5}));
    const CResultData* before = data.Get();
    ASSERT_TRUE(SplitIntoRuns(data, starts, {"r=1", "r=2"}));
    ASSERT_NE(data.Get(), before);
    ASSERT_EQ(data->RunCount(), 3);
    const std::pair<std::int32_t, std::vector<double>> want[] = {
        {3, {10, 11, 12}}, {2, {20, 21}}, {1, {30}}};
    for (std::int32_t k = 0; k < 3; ++k) {
        const CResultData& run = *data->Run(k);
        ASSERT_EQ(run.RowCount(), want[k].first) << k;
        for (std::int32_t r = 0; r < run.RowCount(); ++r)
            EXPECT_EQ(run.Variable(1)->Values()[r], want[k].second[r]) << k;
        EXPECT_EQ(run.Variable(1)->Min(), want[k].second.front()) << k;
        EXPECT_EQ(run.Variable(1)->Unit(), "V");
        EXPECT_EQ(RunVariable(run, "v"), 1);
    }
    EXPECT_EQ(data->RunName(0), "r=1");
    EXPECT_EQ(data->RunName(1), "r=2");
    EXPECT_EQ(data->RunName(2), "");  // fewer names than runs
    EXPECT_EQ(data->Run(3), nullptr);
    EXPECT_EQ(data->Run(-1), nullptr);
    // A result of one run stays the data set it was.
    CResultDataRef one = MakeData({"time", "V"}, {{0, 1}, {5, 6}});
    const CResultData* same = one.Get();
    ASSERT_TRUE(SplitIntoRuns(one, RunStarts(*one.Get()), {}));
    EXPECT_EQ(one.Get(), same);
    EXPECT_EQ(one->RunCount(), 1);
}

TEST(Runs, FileRunsAreNamedByTitleWithTheFoldersThatTellThemApart) {
    const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
        {{"/s/a.raw", "/s/b.raw"}, {"a", "b"}},
        {{"/s/1/out.raw", "/s/2/out.raw", "/s/x.raw"}, {"1/out", "2/out", "x"}},
        {{"/p/a/out.txt", "/q/a/out.txt"}, {"p/a/out", "q/a/out"}},
        {{"out.txt", "/d/out.txt"}, {"out", "d/out"}},
        {{"/d/out.txt", "/d/out.txt"}, {"d/out", "d/out"}},  // the same file twice
    };
    for (const auto& [paths, names] : cases) EXPECT_EQ(RunNamesForFiles(paths), names);
}

TEST(Runs, FilesReadAsRunsShowPartialDataOfTheFirstOnly) {
    // The window of partial data bears the first file's name; v is the file's number.
    const test::CacheHome home("RunsPreview");
    std::vector<std::string> paths;
    for (const double file : {1.0, 2.0}) {
        // Shown while converted.
        const std::string raw = test::NgspicePlot("tran", 400000, [&](int v, std::int64_t p) {
            return v == 0 ? p * 1e-6 : v == 1 ? file : 0.0;
        });
        paths.push_back((home.dir / (std::to_string(int(file)) + ".raw")).string());
        test::Spit(paths.back(), raw);
    }
    LoadOptions options;
    options.cacheAboveBytes = 1;
    std::mutex lock;
    std::vector<double> shown;
    options.preview = [&](const CResultDataRef& d) {
        std::lock_guard<std::mutex> hold(lock);
        shown.push_back(d->Variable(1)->Values()[0]);
    };
    test::RecordingMessages messages;
    COhmixGraphDoc doc(messages);
    ASSERT_TRUE(doc.OpenRuns(paths, options));
    EXPECT_FALSE(shown.empty());
    EXPECT_EQ(std::count(shown.begin(), shown.end(), 1.0), std::ssize(shown));
}

}  // namespace
}  // namespace kurvex
