#include <gtest/gtest.h>

#include <map>
#include <set>

#include "graph/StoredOptions.h"

namespace kurvex {
namespace {

class MapStore : public OptionStore {
public:
    std::optional<std::string> Read(const std::string& group,
                                    const std::string& key) const override {
        const auto it = values.find(group + "/" + key);
        if (it == values.end()) return std::nullopt;
        return it->second;
    }
    void Write(const std::string& group, const std::string& key,
               const std::string& value) override {
        values[group + "/" + key] = value;
    }
    void Remove(const std::string& group, const std::string& key) override {
        values.erase(group + "/" + key);
    }
    std::map<std::string, std::string> values;
};

TEST(StoredOptions, StoredValuesReplaceDefaultsUnlessAbsurd) {
    struct Case {
        const char* key;
        const char* value;
        std::function<std::int32_t(const AppOptions&, const CGraphText&)> field;
        std::int32_t expected;
    };
    const auto justif = [](const AppOptions&, const CGraphText& t) { return t.Justification(); };
    const auto size = [](const AppOptions&, const CGraphText& t) { return t.Font().height; };
    const auto top = [](const AppOptions& o, const CGraphText&) { return o.topMargin; };
    const auto action = [](const AppOptions& o, const CGraphText&) { return o.rightMouseAction; };
    const auto redraw = [](const AppOptions& o, const CGraphText&) { return o.redrawXOnReload; };
    const auto follow = [](const AppOptions& o, const CGraphText&) { return o.autoReload; };
    const auto window = [](const AppOptions& o, const CGraphText&) { return o.fftWindow; };
    const auto unwrap = [](const AppOptions& o, const CGraphText&) { return o.unwrapPhase; };
    const auto italic = [](const AppOptions&, const CGraphText& t) {
        return static_cast<std::int32_t>(t.Font().italic);
    };
    // An italic flag is stored as one byte; a right-mouse action is taken as stored; FFT
    // window 5 does not exist.
    const std::vector<Case> cases = {
        {"Options/TextJustif", "2", justif, 2},        {"Options/TextJustif", "7", justif, 0},
        {"Options/FontSize", "-16", size, -16},        {"Options/FontSize", "twelve", size, -12},
        {"Options/FontItalic", "257", italic, 1},      {"PRINTPAGESETUP/TOPMARGIN", "50", top, 50},
        {"PRINTPAGESETUP/TOPMARGIN", "-40", top, 100}, {"Options/RMouseAction", "2", action, 2},
        {"Options/RMouseAction", "9", action, 9},      {"Options/RedawXOnReload", "0", redraw, 0},
        {"Options/AutoReload", "0", follow, 0},        {"Options/AutoReload", "5", follow, 1},
        {"Options/FFTWindow", "4", window, 4},         {"Options/FFTWindow", "5", window, 0},
        {"Options/UnwrapPhase", "0", unwrap, 0},
    };
    for (const Case& k : cases) {
        MapStore store;
        store.values[k.key] = k.value;
        AppOptions options;
        CGraphText text;
        LoadStoredOptions(store, options, text);
        EXPECT_EQ(k.field(options, text), k.expected) << k.key << "=" << k.value;
    }
}

TEST(StoredOptions, TextDefaultsRoundTrip) {
    CGraphText text;
    GraphFont font = text.Font();
    font.faceName = "Liberation Serif";
    font.height = -20;
    font.weight = 700;
    font.italic = 1;
    text.SetFont(font);
    text.SetColour(0x0000FF);
    text.SetJustification(3);
    text.SetVertical(1);

    MapStore store;
    SaveTextDefaults(store, text);
    EXPECT_EQ(store.values["Options/TextColor"], "255");

    CGraphText back;
    AppOptions options;
    LoadStoredOptions(store, options, back);
    EXPECT_EQ(back.Font(), font);
    EXPECT_EQ(back.Colour(), 0x0000FFu);
    EXPECT_EQ(back.Justification(), 3);
    EXPECT_EQ(back.Vertical(), 1);

    options.rightMouseAction = kRightMouseZoom;
    SaveRightMouseAction(store, options);
    AppOptions again;
    LoadStoredOptions(store, again, back);
    EXPECT_EQ(again.rightMouseAction, kRightMouseZoom);

    again.fftWindow = 3;
    SaveFftWindow(store, again);
    EXPECT_EQ(store.values["Options/FFTWindow"], "3");
}

TEST(StoredOptions, RecentFilesNewestFirstWithoutRepeats) {
    std::vector<std::string> files;
    for (const char* f : {"a", "b", "c", "d", "b", "e"}) files = WithRecentFile(files, f, 4);
    EXPECT_EQ(files, (std::vector<std::string>{"e", "b", "d", "c"}));

    MapStore store;
    store.values["Recent File List/File4"] = "stale";
    SaveRecentFiles(store, {"x", "y"}, 4);
    EXPECT_FALSE(store.values.count("Recent File List/File4"));
    store.values["Recent File List/File3"] = "";
    EXPECT_EQ(LoadRecentFiles(store, 4), (std::vector<std::string>{"x", "y"}));
}

TEST(StoredOptions, ConfiguredHelpWinsOnlyWhenItExists) {
    const std::set<std::string> files = {"/opt/help.html",
                                         "/usr/share/doc/kurvex/manual/index.html"};
    const auto isFile = [&](const std::string& p) { return files.count(p) > 0; };
    const std::vector<std::string> installed = {"/build/doc/manual/index.html",
                                                "/usr/share/doc/kurvex/manual/index.html"};
    EXPECT_EQ(ChooseHelpPath(std::string("/opt/help.html"), installed, isFile), "/opt/help.html");
    EXPECT_EQ(ChooseHelpPath(std::string("/opt/gone.chm"), installed, isFile), installed[1]);
    EXPECT_EQ(ChooseHelpPath(std::string(""), {"/nowhere"}, isFile), "");
}

}  // namespace
}  // namespace kurvex
