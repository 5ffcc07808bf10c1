#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>

#include "TestSupport.h"
#include "cli/CliCommands.h"
#include "cli/CliTestSupport.h"
#include "graph/DisplaySettingsFile.h"

namespace kurvex::cli {
namespace {

namespace fs = std::filesystem;

using clitest::CliRun;
using clitest::Has;
using test::Slurp;

CliRun RunRender(std::vector<std::string> args, int status = 0) {
    args.insert(args.begin(), "render");
    return clitest::Expect(args, status);
}

// A place for `name` in a scratch folder, with nothing there yet.
fs::path Scratch(const std::string& name) {
    const fs::path dir = test::ProcessDir() / "render";
    fs::create_directories(dir);
    fs::remove(dir / name);
    return dir / name;
}

int CountNear(const QImage& img, QColor c) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor p = img.pixelColor(x, y);
            n += std::abs(p.red() - c.red()) + std::abs(p.green() - c.green()) +
                     std::abs(p.blue() - c.blue()) <
                 60;
        }
    return n;
}

const std::string kBuck = std::string(KURVEX_EXAMPLES_DIR) + "/buck.txt";

TEST(Render, DrawsTheExampleCurvesIntoAPicture) {
    const fs::path png = Scratch("buck.png");
    RunRender({kBuck, "-o", png.string(), "--size", "800x600"});
    QImage img(QString::fromStdString(png.string()));
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.size(), QSize(800, 600));
    // Three screens of one red curve each: plenty of red, and black frames and text.
    EXPECT_GT(CountNear(img, QColor(255, 0, 0)), 3000);
    EXPECT_GT(CountNear(img, QColor(0, 0, 0)), 3000);

    // Two screens, the second with a formula in blue (the second palette colour).
    const fs::path two = Scratch("two.png");
    RunRender({kBuck, "-o", two.string(), "--size", "800x600", "--screen", "v(OUT)", "--screen",
               "I(L1), V(sw)/10", "--from", "0.0005", "--to", "0.0008"});
    QImage img2(QString::fromStdString(two.string()));
    EXPECT_GT(CountNear(img2, QColor(0, 0, 255)), 500);

    const fs::path svg = Scratch("buck.svg");
    RunRender({kBuck, "-o", svg.string()});
    EXPECT_TRUE(Has(Slurp(svg), "<svg"));
    const fs::path pdf = Scratch("buck.pdf");
    RunRender({kBuck, "-o", pdf.string(), "--ylog"});
    EXPECT_EQ(Slurp(pdf).substr(0, 4), "%PDF");
}

TEST(Render, UsesTheLayoutSavedBesideTheFile) {
    // A copy of the example with a saved layout: one screen, I(L1) in blue.
    const fs::path dir = test::FreshDir("render-saved");
    const fs::path copy = dir / "buck.txt";
    fs::copy_file(kBuck, copy, fs::copy_options::overwrite_existing);
    // Blue as 0x00BBGGRR.
    test::Spit(SettingsFilePath(copy.string()),
               "[Main]\nNumScreen=1\n[Screen0]\nCurveCount=1\nCurve_0_Formula=I(L1)\n"
               "Curve_0_Color=16711680\n");

    const fs::path png = Scratch("saved.png");
    RunRender({copy.string(), "-o", png.string(), "--size", "800x600"});
    QImage img(QString::fromStdString(png.string()));
    EXPECT_GT(CountNear(img, QColor(0, 0, 255)), 1000);
    EXPECT_LT(CountNear(img, QColor(255, 0, 0)), 50);  // no default red screens

    // Converted to .kfd elsewhere, the layout travels inside the file.
    const fs::path elsewhere = Scratch("elsewhere.kfd");
    ASSERT_EQ(clitest::Cli({"convert", copy.string(), "-o", elsewhere.string()}).status, 0);
    const fs::path png2 = Scratch("fromkfd.png");
    RunRender({elsewhere.string(), "-o", png2.string(), "--size", "800x600"});
    QImage img2(QString::fromStdString(png2.string()));
    EXPECT_GT(CountNear(img2, QColor(0, 0, 255)), 1000);
    EXPECT_LT(CountNear(img2, QColor(255, 0, 0)), 50);
}

TEST(Render, FftDrawsTheSpectraOfTheRangeShown) {
    const std::string three = std::string(KURVEX_EXAMPLES_DIR) + "/headerless.txt";
    const fs::path png = Scratch("spectra.png");
    RunRender({three, "-o", png.string(), "--size", "800x600", "--fft", "--screen", "T(1)",
               "--from", "0", "--to", "0.02"});
    QImage img(QString::fromStdString(png.string()));
    EXPECT_GT(CountNear(img, QColor(255, 0, 0)), 300);
    // A range with no room for a spectrum is refused and writes nothing.
    const fs::path none = Scratch("nospectrum.png");
    RunRender({three, "-o", none.string(), "--fft", "--from", "5", "--to", "6"}, 1);
    EXPECT_FALSE(fs::exists(none));
}

TEST(Render, BadNamesAndOptionsAreRefusedAndWriteNothing) {
    const fs::path png = Scratch("bad.png");
    const std::string to = png.string();
    clitest::ExpectRefused({"render", kBuck, "-o", to, "--screen", "V(out),Nope"}, 1, "'Nope'");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {kBuck, "-o", to, "--size", "12x9000000"},
             {kBuck, "-o", to, "--from", "1"},
             {kBuck, "-o", "picture.gif"},
             {kBuck},
         }) {
        RunRender(args, 2);
    }
    EXPECT_FALSE(fs::exists(png));
}

TEST(Render, DrawsTheRunAskedFor) {
    // The loop's runs charge the capacitor through 1k, 2k and 4k.
    const std::string loop = std::string(KURVEX_SPICE_DIR) + "/rc_loop.raw";
    const fs::path first = Scratch("run1.png"), third = Scratch("run3.png"),
                   every = Scratch("runs.png");
    RunRender({loop, "-o", first.string(), "--screen", "v(out)"});
    RunRender({loop, "-o", third.string(), "--screen", "v(out)", "--run", "3"});
    EXPECT_NE(QImage(QString::fromStdString(first.string())),
              QImage(QString::fromStdString(third.string())));
    // Every run draws more ink than run 1 alone, which draws no other.
    RunRender({loop, "-o", every.string(), "--screen", "v(out)", "--runs"});
    const auto inked = [](const fs::path& p) {
        const QImage image(QString::fromStdString(p.string()));
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) != image.pixel(0, 0);
        return n;
    };
    EXPECT_GT(inked(every), inked(first) + 500);
}

}  // namespace
}  // namespace kurvex::cli
