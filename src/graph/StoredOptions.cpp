#include "graph/StoredOptions.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace kurvex {

namespace {

// Bounds for values that only a damaged or hand-edited store holds.
constexpr std::int32_t kMaxFontHeight = 1000;
constexpr std::int32_t kMaxFontWeight = 1000;
constexpr std::int32_t kMaxMargin = 2000;  // twenty inches

// The whole value as a decimal 32-bit integer; none for anything else.
std::optional<std::int32_t> ParseInt(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    std::string_view s = *text;
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    std::int32_t v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty()) return std::nullopt;
    return v;
}

void ReadInt(const OptionStore& store, const char* group, const char* key, std::int32_t& value,
             std::int32_t min, std::int32_t max) {
    const auto v = ParseInt(store.Read(group, key));
    if (v && *v >= min && *v <= max) value = *v;
}

}  // namespace

AnnotationTemplates& ProgramTemplates() {
    static AnnotationTemplates templates;
    return templates;
}

void LoadStoredOptions(const OptionStore& store, AppOptions& options, CGraphText& text) {
    GraphFont font = text.Font();
    if (const auto name = store.Read(kOptionsGroup, "FontName"); name && !name->empty())
        font.faceName = name->substr(0, GraphFont::kFaceNameMax);
    ReadInt(store, kOptionsGroup, "FontSize", font.height, -kMaxFontHeight, kMaxFontHeight);
    ReadInt(store, kOptionsGroup, "FontWeight", font.weight, 0, kMaxFontWeight);
    if (const auto italic = ParseInt(store.Read(kOptionsGroup, "FontItalic")))
        font.italic = static_cast<std::uint8_t>(*italic & 0xFF);
    text.SetFont(font);
    if (const auto colour = ParseInt(store.Read(kOptionsGroup, "TextColor")))
        text.SetColour(static_cast<Rgb>(*colour) & 0xFFFFFF);
    std::int32_t justification = text.Justification();
    ReadInt(store, kOptionsGroup, "TextJustif", justification, 0, 3);
    text.SetJustification(justification);
    if (const auto vertical = ParseInt(store.Read(kOptionsGroup, "TextVertical")))
        text.SetVertical(*vertical != 0);

    ReadInt(store, kPageSetupGroup, "TOPMARGIN", options.topMargin, 0, kMaxMargin);
    ReadInt(store, kPageSetupGroup, "BOTTOMMARGIN", options.bottomMargin, 0, kMaxMargin);
    ReadInt(store, kPageSetupGroup, "LEFTMARGIN", options.leftMargin, 0, kMaxMargin);
    ReadInt(store, kPageSetupGroup, "RIGHTMARGIN", options.rightMargin, 0, kMaxMargin);

    // Taken as stored: an action the viewer does not know does nothing.
    if (const auto v = ParseInt(store.Read(kOptionsGroup, "RMouseAction")))
        options.rightMouseAction = *v;
    if (const auto v = ParseInt(store.Read(kOptionsGroup, "RedawXOnReload")))
        options.redrawXOnReload = *v;
    if (const auto v = ParseInt(store.Read(kOptionsGroup, "AutoReload")))
        options.autoReload = *v != 0 ? 1 : 0;
    if (const auto v = ParseInt(store.Read(kOptionsGroup, "UnwrapPhase")))
        options.unwrapPhase = *v != 0 ? 1 : 0;
    ReadInt(store, kOptionsGroup, "FFTWindow", options.fftWindow, 0, kFftWindowCount - 1);
    ReadInt(store, kOptionsGroup, "CacheAboveMB", options.cacheAboveMB, 0, kMaxCacheMB);
    ReadInt(store, kOptionsGroup, "CacheLimitMB", options.cacheLimitMB, 0, kMaxCacheMB);
}

void SaveTextDefaults(OptionStore& store, const CGraphText& text) {
    const GraphFont& f = text.Font();
    store.Write(kOptionsGroup, "FontName", f.faceName);
    store.Write(kOptionsGroup, "FontSize", std::to_string(f.height));
    store.Write(kOptionsGroup, "FontWeight", std::to_string(f.weight));
    store.Write(kOptionsGroup, "FontItalic", std::to_string(static_cast<int>(f.italic)));
    store.Write(kOptionsGroup, "TextColor",
                std::to_string(static_cast<std::int32_t>(text.Colour())));
    store.Write(kOptionsGroup, "TextJustif", std::to_string(text.Justification()));
    store.Write(kOptionsGroup, "TextVertical", std::to_string(text.Vertical()));
}

void SaveRightMouseAction(OptionStore& store, const AppOptions& options) {
    store.Write(kOptionsGroup, "RMouseAction", std::to_string(options.rightMouseAction));
}

void SaveAutoReload(OptionStore& store, const AppOptions& options) {
    store.Write(kOptionsGroup, "AutoReload", std::to_string(options.autoReload));
}

void SaveFftWindow(OptionStore& store, const AppOptions& options) {
    store.Write(kOptionsGroup, "FFTWindow", std::to_string(options.fftWindow));
}

std::vector<std::string> LoadRecentFiles(const OptionStore& store, int count) {
    std::vector<std::string> files;
    for (int i = 1; i <= count; ++i) {
        const auto v = store.Read(kRecentFilesGroup, "File" + std::to_string(i));
        if (v && !v->empty() && std::find(files.begin(), files.end(), *v) == files.end())
            files.push_back(*v);
    }
    return files;
}

void SaveRecentFiles(OptionStore& store, const std::vector<std::string>& files, int count) {
    for (int i = 0; i < count; ++i) {
        const std::string key = "File" + std::to_string(i + 1);
        if (static_cast<size_t>(i) < files.size())
            store.Write(kRecentFilesGroup, key, files[static_cast<size_t>(i)]);
        else
            store.Remove(kRecentFilesGroup, key);
    }
}

std::vector<std::string> WithRecentFile(std::vector<std::string> files, const std::string& path,
                                        int count) {
    files.erase(std::remove(files.begin(), files.end(), path), files.end());
    files.insert(files.begin(), path);
    if (files.size() > static_cast<size_t>(std::max(count, 0)))
        files.resize(static_cast<size_t>(std::max(count, 0)));
    return files;
}

std::string ChooseHelpPath(const std::optional<std::string>& configured,
                           const std::vector<std::string>& installed,
                           const std::function<bool(const std::string&)>& isFile) {
    if (configured && !configured->empty() && isFile(*configured)) return *configured;
    for (const std::string& path : installed)
        if (!path.empty() && isFile(path)) return path;
    return {};
}

}  // namespace kurvex
