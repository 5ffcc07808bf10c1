#include "data/formats/ReaderTable.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "data/formats/BlockContainerFile.h"
#include "data/formats/ComtradeFile.h"
#include "data/formats/KeysightBinFile.h"
#include "data/formats/LecroyTrcFile.h"
#include "data/formats/MatFile.h"
#include "data/formats/ModelicaResultFile.h"
#include "data/formats/ScopeCsvFile.h"
#include "data/formats/SettingsDataFile.h"
#include "data/formats/TektronixIsfFile.h"
#include "data/formats/TektronixWfmFile.h"
#include "data/formats/UnreadFormats.h"
#include "data/model/Runs.h"
#include "data/platform/NumberText.h"

namespace kurvex {

namespace {

// The little-endian magic number of the binary formats, 0 for a shorter file.
std::uint32_t MagicOf(std::string_view head) {
    if (head.size() < 4) return 0;
    std::uint32_t magic = 0;
    for (int i = 3; i >= 0; --i)
        magic = magic << 8 | static_cast<unsigned char>(head[static_cast<size_t>(i)]);
    return magic;
}

// Keeps what a reader says for later.
class Held : public UserMessages {
public:
    void Show(const std::string& text, MessageIcon icon) override {
        shown.emplace_back(text, icon);
    }
    std::vector<std::pair<std::string, MessageIcon>> shown;
};

// Cuts a stepped plot where X starts again, naming each run by its step in
// the log beside `path`, else "Run N"; a log that disagrees is noted.
bool SplitSteps(const std::string& path, CResultDataRef& data, std::vector<std::string>* notes) {
    const std::vector<std::int32_t> starts = RunStarts(*data.Get());
    std::string note;
    const std::vector<std::string> names = StepRunNames(path, starts.size(), &note);
    if (notes && !note.empty()) notes->push_back(note);
    return SplitIntoRuns(data, starts, names);
}

bool LooksLikeRaw(std::string_view head, const std::string&) {
    return LooksLikeRawFile(head);
}

// A file that begins like a raw file but has no raw header may still be a
// text result (its first line then names a variable "Title:").
bool ReadRawOrText(const std::string& path, CResultDataRef& data, CIOBuffer*,
                   UserMessages& messages, const LoadOptions& options) {
    std::vector<RawPlot> plots;
    std::string why;
    RawReadOptions raw;
    raw.plot = options.plot;
    raw.plotsAsRuns = !options.plotChosen && options.plot == 0;
    raw.progress = options.text.progress;
    raw.unwrapPhase = options.unwrapPhase;
    raw.notes = options.notes;
    switch (ReadRawFile(path, data, plots, messages, raw, &why)) {
        case RawReadResult::Read: {
            const RawPlot& read = plots[static_cast<size_t>(options.plot)];
            if (read.stepped && data->RunCount() == 1 && !SplitSteps(path, data, options.notes)) {
                messages.Show(Format("There is not enough memory for its data.\r\n\r\nCan not "
                                     "read file %s",
                                     path.c_str()),
                              MessageIcon::Stop);
                return false;
            }
            if (options.plots) *options.plots = std::move(plots);
            return true;
        }
        case RawReadResult::Failed:
            return false;
        case RawReadResult::NotRaw:
            break;
    }
    if (options.plot > 0) return NoSuchPlot(path, options.plot, messages);
    Held text;
    std::vector<std::string> names;
    if (ReadTextResult(path, data, names, text, options.text)) {
        for (const auto& [said, icon] : text.shown) messages.Show(said, icon);
        return true;
    }
    const std::string textSaid =
        text.shown.empty() ? "it holds no data line" : text.shown.front().first;
    messages.Show(Format("The file begins like a SPICE raw file, but %s; read as a text result "
                         "file it fails too (%s).\r\n\r\nCan not read file %s",
                         why.c_str(), textSaid.c_str(), path.c_str()),
                  MessageIcon::Stop);
    return false;
}

bool LooksLikeSettingsData(std::string_view head, const std::string&) {
    return MagicOf(head) == kSettingsDataMagic;
}

bool ReadSettingsData(const std::string& path, CResultDataRef& data, CIOBuffer* settings,
                      UserMessages& messages, const LoadOptions&) {
    const DataPartResult r = LoadSettingsDataFile(path, data, settings, messages);
    return r == DataPartResult::Read || r == DataPartResult::Empty;
}

bool LooksLikeBlockContainer(std::string_view head, const std::string&) {
    return MagicOf(head) == kBlockContainerMagic;
}

bool ReadBlocks(const std::string& path, CResultDataRef& data, CIOBuffer* settings,
                UserMessages& messages, const LoadOptions&) {
    std::vector<CIOBuffer> streams;
    const bool ok = ReadBlockContainer(path, data, streams, messages);
    if (ok && settings && !streams.empty()) settings->Move(streams.front());
    return ok;
}

BinaryReadOptions ForeignOptions(const LoadOptions& options) {
    BinaryReadOptions foreign;
    foreign.progress = options.text.progress;
    foreign.memoryLimit = options.text.memoryLimit;
    foreign.unwrapPhase = options.unwrapPhase;
    return foreign;
}

bool ReadMat(const std::string& path, CResultDataRef& data, CIOBuffer*, UserMessages& messages,
             const LoadOptions& options) {
    return ReadMatFile(path, data, messages, ForeignOptions(options), options.notes);
}

bool ReadModelica(const std::string& path, CResultDataRef& data, CIOBuffer*, UserMessages& messages,
                  const LoadOptions& options) {
    return ReadModelicaResult(path, data, messages, ForeignOptions(options), options.notes);
}

bool ReadKeysightBin(const std::string& path, CResultDataRef& data, CIOBuffer*,
                     UserMessages& messages, const LoadOptions& options) {
    return ReadKeysightBinFile(path, data, messages, ForeignOptions(options), options.notes);
}

bool ReadComtrade(const std::string& path, CResultDataRef& data, CIOBuffer*, UserMessages& messages,
                  const LoadOptions& options) {
    return ReadComtradeFile(path, data, messages, ForeignOptions(options), options.notes);
}

bool ReadTrc(const std::string& path, CResultDataRef& data, CIOBuffer*, UserMessages& messages,
             const LoadOptions& options) {
    return ReadLecroyTrcFile(path, data, messages, ForeignOptions(options), options.notes);
}

bool ReadIsf(const std::string& path, CResultDataRef& data, CIOBuffer*, UserMessages& messages,
             const LoadOptions& options) {
    return ReadTektronixIsfFile(path, data, messages, ForeignOptions(options), options.notes);
}

bool ReadScopeCsv(const std::string& path, CResultDataRef& data, CIOBuffer*, UserMessages& messages,
                  const LoadOptions& options) {
    return ReadScopeCsvFile(path, data, messages, ForeignOptions(options), options.notes);
}

bool ReadWfm(const std::string& path, CResultDataRef& data, CIOBuffer*, UserMessages& messages,
             const LoadOptions& options) {
    return ReadTektronixWfmFile(path, data, messages, ForeignOptions(options), options.notes);
}

bool LooksLikeUnread(std::string_view head, const std::string&) {
    return UnreadFormatOf(head) != nullptr;
}

bool ReadUnread(const std::string& path, CResultDataRef&, CIOBuffer*, UserMessages& messages,
                const LoadOptions&) {
    std::string head, error;
    if (!ReadHead(path, head, error)) {
        messages.Show(error, MessageIcon::Stop);
        return false;
    }
    return RefuseUnreadFormat(path, head, messages);
}

// The configuration beside a COMTRADE record's ".dat", which is what holds
// its layout; empty when `path` is no such file.
std::string ComtradeConfigOf(const std::string& path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return {};
    std::string ext = path.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext != ".dat") return {};
    for (const char* cfg : {".cfg", ".CFG"}) {
        const std::string candidate = path.substr(0, dot) + cfg;
        std::string head, error;
        if (ReadHead(candidate, head, error) && LooksLikeComtrade(head, candidate))
            return candidate;
    }
    return {};
}

bool LooksLikeComtradeData(std::string_view, const std::string& path) {
    return !ComtradeConfigOf(path).empty();
}

bool ReadComtradeData(const std::string& path, CResultDataRef& data, CIOBuffer* settings,
                      UserMessages& messages, const LoadOptions& options) {
    return ReadComtrade(ComtradeConfigOf(path), data, settings, messages, options);
}

bool AnyFile(std::string_view, const std::string&) {
    return true;
}

bool ReadText(const std::string& path, CResultDataRef& data, CIOBuffer*, UserMessages& messages,
              const LoadOptions& options) {
    std::vector<std::string> names;
    return ReadTextResult(path, data, names, messages, options.text);
}

}  // namespace

const char* OpenGroupName(OpenGroup group) {
    switch (group) {
        case OpenGroup::KurvexFiles:
            return "Kurvex Files";
        case OpenGroup::CommaSeparated:
            return "Comma separated files";
        case OpenGroup::SpiceRaw:
            return "SPICE raw files";
        case OpenGroup::Matlab:
            return "MATLAB files";
        case OpenGroup::Comtrade:
            return "COMTRADE records";
        case OpenGroup::Oscilloscope:
            return "Oscilloscope captures";
        case OpenGroup::None:
            break;
    }
    return "";
}

const std::vector<ReaderRow>& ReaderTable() {
    // A raw file's "Title:" line could open a text result too: raw goes first,
    // and the text reader, which takes anything, last.
    static const std::vector<ReaderRow> table = {
        {"SPICE raw",
         LooksLikeRaw,
         ReadRawOrText,
         {{"raw", OpenGroup::SpiceRaw}},
         CacheKind::Raw,
         true},
        {"settings and data",
         LooksLikeSettingsData,
         ReadSettingsData,
         {{"kfd", OpenGroup::KurvexFiles}}},
        {"block container", LooksLikeBlockContainer, ReadBlocks, {{"kfd", OpenGroup::KurvexFiles}}},
        {"LeCroy waveform",
         LooksLikeLecroyTrc,
         ReadTrc,
         {{"trc", OpenGroup::Oscilloscope}},
         CacheKind::None,
         false,
         XKind::Time},
        {"Tektronix ISF",
         LooksLikeTektronixIsf,
         ReadIsf,
         {{"isf", OpenGroup::Oscilloscope}},
         CacheKind::None,
         false,
         XKind::Time},
        {"Modelica result",
         LooksLikeModelicaResult,
         ReadModelica,
         {{"mat", OpenGroup::Matlab}},
         CacheKind::None,
         false,
         XKind::Time},
        {"Keysight BIN",
         LooksLikeKeysightBin,
         ReadKeysightBin,
         {{"bin", OpenGroup::Oscilloscope}},
         CacheKind::None,
         false,
         XKind::Time},
        {"Tektronix WFM",
         LooksLikeTektronixWfm,
         ReadWfm,
         {{"wfm", OpenGroup::Oscilloscope}},
         CacheKind::None,
         false,
         XKind::Time},
        {"recognised, not read", LooksLikeUnread, ReadUnread, {}},
        {"MATLAB", LooksLikeMatFile, ReadMat, {{"mat", OpenGroup::Matlab}}},
        {"COMTRADE",
         LooksLikeComtrade,
         ReadComtrade,
         {{"cfg", OpenGroup::Comtrade}, {"cff", OpenGroup::Comtrade}},
         CacheKind::None,
         false,
         XKind::Time},
        {"COMTRADE data",
         LooksLikeComtradeData,
         ReadComtradeData,
         {{"dat", OpenGroup::None}},
         CacheKind::None,
         false,
         XKind::Time},
        // Claimed by its heading rows alone: other CSV files stay the text reader's.
        {"oscilloscope CSV",
         LooksLikeScopeCsv,
         ReadScopeCsv,
         {{"csv", OpenGroup::CommaSeparated}},
         CacheKind::None,
         false,
         XKind::Time},
        {"text",
         AnyFile,
         ReadText,
         {{"txt", OpenGroup::KurvexFiles},
          {"fra", OpenGroup::KurvexFiles},
          {"csv", OpenGroup::CommaSeparated}},
         CacheKind::Text},
    };
    return table;
}

const ReaderRow& ReaderFor(std::string_view head, const std::string& path) {
    const std::vector<ReaderRow>& table = ReaderTable();
    for (const ReaderRow& row : table)
        if (row.looksLike(head, path)) return row;
    return table.back();
}

bool ReadHead(const std::string& path, std::string& head, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = Format("Cannot open \"%s\": %s.", path.c_str(), std::strerror(errno));
        return false;
    }
    head.assign(kReaderHeadBytes, '\0');
    head.resize(std::fread(head.data(), 1, head.size(), f));
    std::fclose(f);
    return true;
}

bool NoSuchPlot(const std::string& path, std::int32_t plot, UserMessages& messages) {
    messages.Show(Format("The file holds 1 plot: there is no plot %d.\r\n\r\nCan not read file %s",
                         plot + 1, path.c_str()),
                  MessageIcon::Stop);
    return false;
}

}  // namespace kurvex
