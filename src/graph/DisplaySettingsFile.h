#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data/formats/IniFile.h"
#include "data/model/ResultData.h"
#include "data/platform/UserMessages.h"
#include "graph/GraphCurve.h"
#include "graph/RunChoice.h"
#include "graph/canvas/GraphTypes.h"

namespace kurvex {

// Shown with the path after a save.
inline constexpr const char* kSettingsSavedMessage = "Settings were saved in the file\r\n%s";

// The colours that curves read without one take in turn.
extern const Rgb kSettingsCurvePalette[12];

// Hands out kSettingsCurvePalette in turn. One instance lives as long as the
// program and is shared by every read, so a second file goes on where the
// first stopped.
class SettingsCurvePalette {
public:
    // The next colour; after the twelfth the first again.
    Rgb Next();
    // How many colours were handed out so far.
    std::uint64_t Position() const { return taken_.load(); }

    // The program's palette.
    static SettingsCurvePalette& Program();

private:
    std::atomic<std::uint64_t> taken_{0};
};

// The settings file of a result file: the file name's extension replaced by
// "ini", or ".ini" appended when the file name has none; a "." in a folder
// name does not count. Empty for an empty path.
std::string SettingsFilePath(const std::string& documentPath);

// Writes the keys of `screens` (top first; the last one gives the settings all
// screens share) into `ini`, leaving its other keys alone.
void WriteDisplaySettings(const std::vector<const CGraphCurve*>& screens, IniFile& ini);

// Writes the settings file at `path` from `screens` and the view's `runs`,
// keeping the keys the file has that are not written, and shows
// kSettingsSavedMessage. False when there is no screen or no path, or when the
// file could not be read or written (the error is shown and the old file stays).
bool SaveDisplaySettings(const std::vector<const CGraphCurve*>& screens, const std::string& path,
                         UserMessages& messages, const RunChoice& runs = {},
                         const std::string& measures = {});

// The measurement script of a view as the `[Measures]` section: `Count` and
// one statement line per key `Line_1`...; nothing is written for no script
// unless the file had a script to clear.
void WriteMeasureScript(const std::string& script, IniFile& ini);
// The script the section holds, its lines joined by "\n"; empty without one.
std::string ReadMeasureScript(const IniFile& ini);
// The script of the settings file at `path`; empty when it has none or cannot be read.
std::string LoadMeasureScript(const std::string& path);

// The run choice the settings file at `path` holds; the default when the file
// is missing, unreadable or has none.
RunChoice LoadRunChoice(const std::string& path);

// Screens built from saved settings.
struct LoadedScreens {
    std::vector<std::unique_ptr<CGraphCurve>> screens;  // top first; only the last is the bottom
    bool invalidPoints = false;  // a log axis or formula met points it cannot show
};

// What a new screen starts from before the saved settings are applied.
struct ScreenBasis {
    CResultDataRef data;                   // the document's data set
    CharMetrics metrics;                   // the view's measured axis font
    const TextMeasure* measure = nullptr;  // re-measures a saved font; null keeps `metrics`
};

// Builds the screens `ini` describes on `basis.data`. Curves whose variable is
// gone or whose formula does not build are dropped; colourless curves take
// `palette`'s next colours. No screens when NumScreen is 0 or no section has
// curves.
LoadedScreens ReadDisplaySettings(const IniFile& ini, const ScreenBasis& basis,
                                  SettingsCurvePalette& palette);

// Fills an empty `screens` from the settings file at `path`, and shows the
// invalid-points warning when points were met that cannot be shown. Does nothing
// (false) when `screens` is not empty, the path is empty, or the file is missing,
// unreadable or describes no screen; true when screens were built.
bool LoadDisplaySettings(std::vector<std::unique_ptr<CGraphCurve>>& screens,
                         const std::string& path, const ScreenBasis& basis, UserMessages& messages);

}  // namespace kurvex
