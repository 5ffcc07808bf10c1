#include <gtest/gtest.h>

#include <cstdint>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/AnalysisTestSupport.h"
#include "analysis/FftWorker.h"

namespace kurvex {
namespace {

using test::Fixture;
using test::Gate;

// Runs `task`, calling `hook` at each report on the worker thread.
std::vector<SpectrumResult> RunWith(FftTask task, FftWorker& worker, const FftProgressFn& hook) {
    EXPECT_TRUE(worker.Start(std::move(task), hook));
    return worker.Wait();
}

TEST(FftWorker, AnalysesEveryCurveInOrderAndReportsEachStage) {
    Fixture f;
    FftWorker worker;
    std::vector<std::string> seen;
    const auto r = RunWith(f.Task({1, 2, 3}), worker, [&](const FftProgress& p) {
        seen.push_back(std::to_string(p.curve) + "/" + std::to_string(p.curves) +
                       (p.stage == FftStage::kCurveStarted ? "s" : (p.ok ? "ok" : "fail")));
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"0/3s", "0/3ok", "1/3s", "1/3ok", "2/3s", "2/3ok"}));
    ASSERT_EQ(r.size(), 3u);
    for (const auto& s : r) ASSERT_TRUE(s.ok);
    EXPECT_EQ(r[0].spectrum->Name(), "a");
    EXPECT_NEAR(r[2].spectrum->Values()[20], 2.0, 0.05);
    EXPECT_FALSE(FftWorker::AnalysisRunning());
}

TEST(FftWorker, CancelledOrThrowingCurveIsEmptyAndTheNextIsStillAnalysed) {
    enum class Act { kCancelCurve, kCancelAll, kThrow };
    struct Case {
        const char* what;
        std::int32_t at;
        FftStage stage;
        Act act;
        std::vector<bool> ok;
    };
    using S = FftStage;
    // Curve 1 is the constant, which runs no transform and so never polls.
    const Case cases[] = {
        {"constant at its start", 1, S::kCurveStarted, Act::kCancelCurve, {true, false, true}},
        {"last curve at its start", 2, S::kCurveStarted, Act::kCancelCurve, {true, true, false}},
        {"after a curve finished", 0, S::kCurveFinished, Act::kCancelCurve, {true, true, true}},
        {"all from the second curve", 1, S::kCurveStarted, Act::kCancelAll, {true, false, false}},
        {"all after the last finished", 2, S::kCurveFinished, Act::kCancelAll, {true, true, true}},
        {"throw at a start", 1, S::kCurveStarted, Act::kThrow, {true, false, true}},
        {"throw after the last finished", 2, S::kCurveFinished, Act::kThrow, {true, true, true}},
    };
    Fixture f;
    for (const Case& c : cases) {
        FftWorker worker;
        const auto r = RunWith(f.Task({1, 2, 3}), worker, [&](const FftProgress& p) {
            if (p.curve != c.at || p.stage != c.stage) return;
            if (c.act == Act::kThrow) throw std::runtime_error(c.what);
            if (c.act == Act::kCancelAll)
                worker.CancelAll();
            else
                worker.CancelCurve();
        });
        ASSERT_EQ(r.size(), 3u) << c.what;
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(r[i].ok, c.ok[i]) << c.what << " curve " << i;
            ASSERT_TRUE(r[i].spectrum) << c.what;
            EXPECT_EQ(r[i].spectrum->Capacity() > 0, c.ok[i]) << c.what << " curve " << i;
        }
        EXPECT_EQ(r[1].spectrum->Name(), "c") << c.what;
    }
}

TEST(FftWorker, WhileOneRunsASecondIsRefusedAndTheTaskHoldsItsVariables) {
    auto f = std::make_unique<Fixture>();
    FftTask task = f->Task({1, 3});
    const RefPtr<CResultVariable> y = task.curves[1].y;
    const RefPtr<CResultVariable> frequency = task.plan.frequency;
    Gate gate;
    FftWorker first, second;
    ASSERT_TRUE(first.Start(std::move(task), gate.Hook()));
    gate.WaitReached();
    EXPECT_TRUE(FftWorker::AnalysisRunning());
    EXPECT_FALSE(second.Start(f->Task({3})));
    f.reset();                    // the data set and its handle go away
    EXPECT_EQ(y->RefCount(), 2);  // ours and the task's
    EXPECT_EQ(frequency->RefCount(), 2);
    gate.Open();
    const auto r = first.Wait();
    EXPECT_EQ(y->RefCount(), 1);
    EXPECT_EQ(frequency->RefCount(), 1);
    ASSERT_EQ(r.size(), 2u);
    ASSERT_TRUE(r[0].ok && r[1].ok);
    EXPECT_NEAR(r[0].spectrum->Values()[10], 5.0, 0.05);
    EXPECT_NEAR(r[1].spectrum->Values()[20], 2.0, 0.05);
    EXPECT_TRUE(second.Wait().empty());
}

TEST(FftWorker, DestroyingARunningWorkerCancelsAndWaits) {
    Fixture f;
    std::vector<bool> ok;
    std::promise<void> reached;
    {
        FftWorker worker;
        ASSERT_TRUE(worker.Start(f.Task({1, 3, 1}), [&](const FftProgress& p) {
            if (p.stage == FftStage::kCurveFinished) ok.push_back(p.ok);
            if (p.curve == 0 && p.stage == FftStage::kCurveStarted) reached.set_value();
        }));
        reached.get_future().wait();
    }
    EXPECT_EQ(ok.size(), 3u);
    EXPECT_FALSE(FftWorker::AnalysisRunning());
}

}  // namespace
}  // namespace kurvex
