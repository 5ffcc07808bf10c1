#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "graph/AnnotationTemplates.h"
#include "graph/AppOptions.h"
#include "graph/GraphText.h"

namespace kurvex {

// Groups of the per-user settings.
inline constexpr const char* kOptionsGroup = "Options";
inline constexpr const char* kPageSetupGroup = "PRINTPAGESETUP";
inline constexpr const char* kRecentFilesGroup = "Recent File List";

// The per-user settings as text values in groups; the shell backs it with
// QSettings, tests with a map.
class OptionStore {
public:
    virtual ~OptionStore() = default;
    // The stored value of `key` in `group`, none when there is none.
    virtual std::optional<std::string> Read(const std::string& group,
                                            const std::string& key) const = 0;
    // Stores `value` under `key` in `group`.
    virtual void Write(const std::string& group, const std::string& key,
                       const std::string& value) = 0;
    // Removes `key` from `group`.
    virtual void Remove(const std::string& group, const std::string& key) = 0;
};

// The text and line templates every new annotation of the program copies.
AnnotationTemplates& ProgramTemplates();

// Reads the options and the text-label defaults. Missing or unreadable
// values keep what `options` and `text` hold; a justification outside 0..3,
// a font size or weight beyond any font, margins that are negative or wider
// than a page and an FFT window the program does not have keep theirs too.
void LoadStoredOptions(const OptionStore& store, AppOptions& options, CGraphText& text);
// Writes the seven text-label defaults (at exit).
void SaveTextDefaults(OptionStore& store, const CGraphText& text);
// Writes the right-mouse action (at once when it changes).
void SaveRightMouseAction(OptionStore& store, const AppOptions& options);
// Writes the FFT window (at once when it changes).
void SaveFftWindow(OptionStore& store, const AppOptions& options);

// Writes whether documents follow their files (at once when it changes).
void SaveAutoReload(OptionStore& store, const AppOptions& options);

// The recent files, newest first, at most `count`; empty entries dropped.
std::vector<std::string> LoadRecentFiles(const OptionStore& store, int count);
// Writes the list as "File1" ... and removes the keys beyond it.
void SaveRecentFiles(OptionStore& store, const std::vector<std::string>& files, int count);
// `path` at the front of `files`, without an older entry of the same path,
// cut to `count` entries.
std::vector<std::string> WithRecentFile(std::vector<std::string> files, const std::string& path,
                                        int count);

// The help file: a configured path wins when it names an existing file,
// else the first existing of `installed`; empty when none exists.
std::string ChooseHelpPath(const std::optional<std::string>& configured,
                           const std::vector<std::string>& installed,
                           const std::function<bool(const std::string&)>& isFile);

}  // namespace kurvex
