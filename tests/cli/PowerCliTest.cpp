#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/CliCommands.h"
#include "cli/CliTestSupport.h"

namespace kurvex::cli {
namespace {

namespace fs = std::filesystem;

using clitest::CliRun;
using clitest::Expect;
using clitest::ExpectRefused;
using clitest::Field;
using clitest::Has;

std::string File(const char* name, const std::string& text) {
    return clitest::Scratch(name, text).string();
}

TEST(PowerCli, CyclesReportPerCycleFiguresAndNullWhereThereAreNone) {
    // G rises through 5 at 0.5 s, 2.5 s and 4.5 s; V is invalid from 3 s on.
    const std::string f = File("gate.txt",
                               "Time G V\n0 0 1\n1 10 1\n2 0 1\n3 10 NAN\n4 0 NAN\n5 10 NAN\n"
                               "6 0 NAN\n");
    CliRun r = Expect({"measure", f, "V", "--cycles", "--ref", "g", "--json"});
    EXPECT_EQ(r.out,
              "{\"cycles\": 2, \"period\": 2, \"frequency\": 0.5, \"duty\": 0.5, \"avg\": 1, "
              "\"rms\": 1, \"min\": 1, \"max\": 1, \"ripple\": 0, \"per_cycle\": [{\"start\": "
              "0.5, \"end\": 2.5, \"avg\": 1, \"rms\": 1, \"min\": 1, \"max\": 1}, {\"start\": "
              "2.5, \"end\": 4.5, \"avg\": null, \"rms\": null, \"min\": null, \"max\": null}]}\n");
    EXPECT_EQ(r.err, "kurvex-cli: 2 invalid samples inside the cycles were left out\n");

    // The reference's own figures; a range keeps the crossings inside it.
    r = Expect({"measure", f, "G", "--cycles", "--from", "0", "--to", "3"});
    EXPECT_EQ(r.out.substr(0, 45), "cycles: 1\nperiod: 2\nfrequency: 0.5\nduty: 0.5\n");

    // Fewer than two crossings: status 1 and the reason.
    ExpectRefused({"measure", f, "G", "--cycles", "--json", "--from", "0", "--to", "2"}, 1,
                  "kurvex-cli: No cycles: G rises through its level 5 only once; a cycle runs "
                  "from one rising crossing to the next.\n");
}

TEST(PowerCli, EdgesDeadTimesAndTheCatalogueFigures) {
    // A rises 0 -> 10 over 0..10 s and falls over 20..40 s; B rises over 40..50 s.
    const std::string f =
        File("edges.txt", "Time A B\n0 0 0\n10 10 0\n20 10 0\n40 0 0\n50 0 10\n60 0 10\n");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--edges"},
         "{\"rise\": [{\"at\": 5, \"time\": 8}], \"fall\": [{\"at\": 30, \"time\": 16}], "
         "\"rise_mean\": 8, \"fall_mean\": 16}\n"},
        // Levels given: 90 % of 0..20 is never reached.
        {{"--edges", "--low", "0", "--high", "20"},
         "{\"rise\": [], \"fall\": [], \"rise_mean\": null, \"fall_mean\": null}\n"},
        {{"--dead", "b"},
         "{\"dead_ab\": [{\"at\": 30, \"time\": 15}], \"dead_ba\": [], \"dead_ab_mean\": "
         "15, \"dead_ba_mean\": null}\n"},
        // As --edges and --dead give them; the trapezoids of A make 50 + 100 + 100.
        {{"--figure", "rise_time", "--figure", "dead_time_to", "--with", "B", "--figure", "max",
          "--figure", "integral", "--figure", "value_at", "--at", "15", "--figure", "period"},
         "{\"rise_time\": {\"value\": 8}, \"dead_time_to\": {\"value\": 15}, \"max\": "
         "{\"value\": 10, \"at\": 10}, \"integral\": {\"value\": 250}, \"value_at\": "
         "{\"value\": 10, \"at\": 15}, \"period\": {\"error\": \"No cycles: B rises "
         "through its level 5 only once; a cycle runs from one rising crossing to the "
         "next.\"}}\n"},
    };
    for (const auto& [options, out] : cases) {
        std::vector<std::string> args = {"measure", f, "A", "--json"};
        args.insert(args.end(), options.begin(), options.end());
        EXPECT_EQ(Expect(args).out, out);
    }
    const CliRun r = Expect({"measure", f, "A", "--figure", "rise_time", "--figure", "period",
                             "--from", "0", "--to", "20"});
    EXPECT_EQ(r.out.substr(0, 15), "rise_time: 8\npe");
    EXPECT_TRUE(Has(r.out, "period: - (No cycles: A "));
    ExpectRefused({"measure", f, "A", "--edges", "--low", "3", "--high", "3"}, 1,
                  "kurvex-cli: The low and high levels of A are both 3, so it has no edges.\n");
}

TEST(PowerCli, HarmonicsAndThdUnderEachWindow) {
    std::string text = "Time I\n";
    for (int k = 0; k <= 4000; ++k) {
        const double t = k * 0.1 / 4000;
        const double w = 2 * M_PI * 50 * t;
        text += std::to_string(t) + " " +
                std::to_string(10 * std::sin(w) + 1.0 * std::sin(3 * w) + 0.5 * std::sin(5 * w)) +
                "\n";
    }
    const std::string f = File("line.txt", text);
    // Each window is taken (its leakage is the library's test); the figures come out as JSON.
    for (const char* w : {"rect", "hann", "hamming", "blackman-harris", "flattop"}) {
        const CliRun r = Expect({"fft", f, "--var", "I", "--thd", "--window", w, "--json"});
        EXPECT_EQ(r.out.substr(0, 33), "{\"fundamental\": 50, \"amplitude\": ") << r.out;
        EXPECT_NEAR(Field(r.out, "thd"), 100 * std::sqrt(1.25) / 10, 0.05) << w;
        EXPECT_TRUE(Has(r.out, "{\"order\": 3, \"frequency\": 150, \"amplitude\": "));
    }
    // The window goes into the spectrum file and the harmonics to the output.
    const std::string fft = File("line.fft", "");
    EXPECT_EQ(Expect({"fft", f, "--var", "I", "--thd", "--window", "hann", "-o", fft,
                      "--fundamental", "150"})
                  .out.substr(0, 17),
              "fundamental: 150\n");
    EXPECT_TRUE(Has(test::Slurp(fft), "\r\n;; FFT Window: Hann\r\n"));

    const std::string flat = File("flat.txt", "Time I\n0 1\n1 1\n2 1\n3 1\n");
    ExpectRefused({"fft", flat, "--var", "I", "--thd", "--json"}, 1,
                  "kurvex-cli: I: The spectrum is 0 at every frequency above 0 Hz, so it has no "
                  "fundamental.\n");
}

}  // namespace
}  // namespace kurvex::cli
