#include "data/document/ResultFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <vector>

#include "data/cache/CacheConvert.h"
#include "data/cache/CacheConvertText.h"
#include "data/cache/CachedResult.h"
#include "data/formats/BlockContainerFile.h"
#include "data/formats/ComtradeFile.h"
#include "data/formats/MatFile.h"
#include "data/formats/SettingsDataFile.h"
#include "data/model/Runs.h"
#include "data/platform/NameText.h"
#include "data/platform/NumberText.h"

namespace kurvex {

namespace {

// Says nothing: for loads that must not report failing to open.
class Silent : public UserMessages {
public:
    void Show(const std::string&, MessageIcon) override {}
};

// Enough for a MAT file's 128-byte header.
constexpr size_t kHeadBytes = 128;

// Reads the first bytes (fewer for a short file); false when the file cannot be opened.
bool ReadHead(const std::string& path, std::string& head, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = Format("Cannot open \"%s\": %s.", path.c_str(), std::strerror(errno));
        return false;
    }
    head.assign(kHeadBytes, '\0');
    head.resize(std::fread(head.data(), 1, head.size(), f));
    std::fclose(f);
    return true;
}

// The little-endian magic number of the binary formats, 0 for a shorter file.
std::uint32_t MagicOf(const std::string& head) {
    if (head.size() < 4) return 0;
    std::uint32_t magic = 0;
    for (int i = 3; i >= 0; --i)
        magic = magic << 8 | static_cast<unsigned char>(head[static_cast<size_t>(i)]);
    return magic;
}

// Refuses a plot past the first of a file that has only one.
bool NoSuchPlot(const std::string& path, std::int32_t plot, UserMessages& messages) {
    messages.Show(Format("The file holds 1 plot: there is no plot %d.\r\n\r\nCan not read file %s",
                         plot + 1, path.c_str()),
                  MessageIcon::Stop);
    return false;
}

// Keeps what a reader says for later.
class Held : public UserMessages {
public:
    void Show(const std::string& text, MessageIcon icon) override {
        shown.emplace_back(text, icon);
    }
    std::vector<std::pair<std::string, MessageIcon>> shown;
};

// LTspice's log says the steps in its first lines; a log this long is no
// use to read further.

// Cuts a stepped plot where X starts again, naming each run by its step in
// the log beside `path`, else "Run N"; a log that disagrees is noted.
bool SplitSteps(const std::string& path, CResultDataRef& data, std::vector<std::string>* notes) {
    const std::vector<std::int32_t> starts = RunStarts(*data.Get());
    std::string note;
    const std::vector<std::string> names = StepRunNames(path, starts.size(), &note);
    if (notes && !note.empty()) notes->push_back(note);
    return SplitIntoRuns(data, starts, names);
}

enum class CacheRoute {
    Read,     // `data` holds the file, over its cache entry
    NotUsed,  // read it the old way
    Stopped,  // cancelled: nothing more to do
};

// A raw file (or, given `text`, a text result) larger than the options'
// threshold, converted once into the column cache and mapped from there; any
// failure leaves the old way open, with a status line saying why, but a text
// file the reader refuses is refused with its message through `text`.
CacheRoute ReadThroughCache(const std::string& path, CResultDataRef& data,
                            const LoadOptions& options, UserMessages* text = nullptr) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (options.cacheAboveBytes == 0 || ec || size <= options.cacheAboveBytes)
        return CacheRoute::NotUsed;
    CacheConvertOptions convert;
    convert.limit = options.cacheLimitBytes;
    convert.progress = options.text.progress;
    convert.preview = options.preview;
    convert.status = options.status;
    convert.plot = options.plot;
    convert.plotsAsRuns = !options.plotChosen && options.plot == 0;
    TextConvertTuning tuning;
    bool refused = false;
    tuning.refused = &refused;
    CacheConversion c =
        text ? ConvertTextToCache(path, convert, tuning) : ConvertToCache(path, convert);
    if (refused) {
        text->Show(c.error, MessageIcon::Stop);
        return CacheRoute::Stopped;
    }
    const auto note = [&](const std::string& why) {
        if (options.notes && !why.empty())
            options.notes->push_back("The column cache was not used: " + why);
        return CacheRoute::NotUsed;
    };
    switch (c.status) {
        case CacheConversion::Status::Unsupported:
            return CacheRoute::NotUsed;
        case CacheConversion::Status::Cancelled:
            return CacheRoute::Stopped;
        case CacheConversion::Status::Failed:
            return note(c.error);
        case CacheConversion::Status::Converted:
        case CacheConversion::Status::AlreadyCached:
            break;
    }
    std::string error;
    CResultDataRef mapped;
    if (!OpenCachedResult(c.entry, mapped, error, c.runNames)) return note(error);
    data = mapped;
    if (options.plots) *options.plots = std::move(c.plots);
    if (options.notes) options.notes->insert(options.notes->end(), c.notes.begin(), c.notes.end());
    return CacheRoute::Read;
}

// A file that begins like a raw file but has no raw header may still be a
// text result (its first line then names a variable "Title:").
bool ReadRawOrText(const std::string& path, CResultDataRef& data, UserMessages& messages,
                   const LoadOptions& options) {
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

BinaryReadOptions ForeignOptions(const LoadOptions& options) {
    BinaryReadOptions foreign;
    foreign.progress = options.text.progress;
    foreign.memoryLimit = options.text.memoryLimit;
    foreign.unwrapPhase = options.unwrapPhase;
    return foreign;
}

// `name` followed by `tail`; when the two parts are in different encodings
// the result is their text in UTF-8, so that neither part is misread.
std::string Joined(const std::string& name, const std::string& tail) {
    std::string joined = name + tail;
    const std::string text = DisplayName(name) + DisplayName(tail);
    return DisplayName(joined) == text ? joined : text;
}

// A name for B's variable that none of A's variables has.
std::string MergedName(const CResultDataRef& a, const std::string& name,
                       const std::string& suffix) {
    auto taken = [&](const std::string& n) { return a.FindVariable(n.c_str()) >= 0; };
    if (!taken(name)) return name;
    std::string base = name;
    if (!suffix.empty()) {
        base = Joined(name, "_(" + suffix + ")");
        if (!taken(base)) return base;
    }
    for (int i = 2;; ++i) {
        std::string candidate = Joined(base, Format("_(%i)", i));
        if (!taken(candidate)) return candidate;
    }
}

}  // namespace

bool LoadResultFile(const std::string& path, CResultDataRef& data, CIOBuffer* settings,
                    UserMessages& messages, const LoadOptions& options) {
    if (settings) settings->Reset();
    std::error_code ec;
    if (path.empty() || !std::filesystem::exists(path, ec)) return false;
    // The format is told from the first bytes and the file is then read from
    // its start, which a pipe cannot give twice.
    const auto status = std::filesystem::status(path, ec);
    if (!ec && !std::filesystem::is_regular_file(status) &&
        !std::filesystem::is_directory(status)) {
        if (options.reportErrors) {
            messages.Show(Format("Cannot read \"%s\": it is not a regular file.", path.c_str()),
                          MessageIcon::Stop);
        }
        return false;
    }
    std::string head, error;
    if (!ReadHead(path, head, error)) {
        if (options.reportErrors) messages.Show(error, MessageIcon::Stop);
        return false;
    }
    if (options.plots) options.plots->clear();
    if (options.notes) options.notes->clear();
    const std::uint32_t magic = MagicOf(head);
    bool ok = false;
    if (LooksLikeRawFile(head)) {
        const CacheRoute route = ReadThroughCache(path, data, options);
        if (route == CacheRoute::Stopped) return false;
        ok = route == CacheRoute::Read || ReadRawOrText(path, data, messages, options);
    } else if (options.plot > 0) {
        NoSuchPlot(path, options.plot, messages);
    } else if (magic == kSettingsDataMagic) {
        const DataPartResult r = LoadSettingsDataFile(path, data, settings, messages);
        ok = r == DataPartResult::Read || r == DataPartResult::Empty;
    } else if (magic == kBlockContainerMagic) {
        std::vector<CIOBuffer> streams;
        ok = ReadBlockContainer(path, data, streams, messages);
        if (ok && settings && !streams.empty()) settings->Move(streams.front());
    } else if (LooksLikeMatFile(head, path)) {
        ok = ReadMatFile(path, data, messages, ForeignOptions(options), options.notes);
    } else if (LooksLikeComtrade(head, path)) {
        ok = ReadComtradeFile(path, data, messages, ForeignOptions(options), options.notes);
    } else if (const std::string cfg = ComtradeConfigOf(path); !cfg.empty()) {
        ok = ReadComtradeFile(cfg, data, messages, ForeignOptions(options), options.notes);
    } else {
        const CacheRoute route = ReadThroughCache(path, data, options, &messages);
        if (route == CacheRoute::Stopped) return false;
        std::vector<std::string> names;
        ok = route == CacheRoute::Read || ReadTextResult(path, data, names, messages, options.text);
    }
    if (ok && options.showWarnings && data->BadPoints()) {
        messages.Show(
            Format("Warning: File %s\r\ncontains missing or invalid points.", path.c_str()),
            MessageIcon::Exclamation);
    }
    return ok;
}

bool MergeDataSets(const CResultDataRef& a, const CResultDataRef& b, CResultDataRef& result,
                   const std::string& suffix, UserMessages& messages) {
    const CResultData* da = a.Get();
    const CResultData* db = b.Get();
    const std::int32_t na = da->VariableCount(), nb = db->VariableCount();
    const std::int32_t ra = da->RowCount(), rb = db->RowCount();
    if (na < 2 || nb < 2 || ra < 2 || rb < 2) return false;
    if (!SameName(da->Variable(0)->Name(), db->Variable(0)->Name())) {
        messages.Show(
            "Error: When merging files, the name of the first column of both files must be the "
            "same.",
            MessageIcon::None);
        return false;
    }
    const std::int64_t capacity = static_cast<std::int64_t>(ra) + rb;
    const std::int64_t count = static_cast<std::int64_t>(na) + nb - 1;
    CResultDataRef r;
    if (capacity > std::numeric_limits<std::int32_t>::max() ||
        count > std::numeric_limits<std::int32_t>::max() ||
        !r.Initialise(kDataSetPlain, static_cast<std::int32_t>(count),
                      static_cast<std::int32_t>(capacity), 100)) {
        messages.Show("Not enough memory to merge the files.", MessageIcon::Stop);
        return false;
    }
    for (std::int32_t i = 0; i < na; ++i) r.SetName(i, da->Variable(i)->Name().c_str());
    for (std::int32_t j = 1; j < nb; ++j) {
        r.SetName(na + j - 1, MergedName(a, db->Variable(j)->Name(), suffix).c_str());
    }

    const double* xa = da->Variable(0)->Values();
    const double* xb = db->Variable(0)->Values();
    std::vector<double> values(static_cast<size_t>(count));
    std::vector<std::uint8_t> flags(static_cast<size_t>(count));
    // One side's samples at row k as they are, or as missing values at x:
    // interpolated inside its X range, held at its ends outside.
    auto own = [&](const CResultData* d, std::int32_t k, std::int32_t first, std::int32_t n) {
        for (std::int32_t v = 1; v < n; ++v) {
            values[static_cast<size_t>(first + v - 1)] = d->Variable(v)->Values()[k];
            flags[static_cast<size_t>(first + v - 1)] = d->Variable(v)->Flags()[k];
        }
    };
    auto other = [&](const CResultData* d, const double* xs, std::int32_t rows, std::int32_t k,
                     double x, std::int32_t first, std::int32_t n) {
        for (std::int32_t v = 1; v < n; ++v) {
            const double* s = d->Variable(v)->Values();
            double value;
            if (k <= 0) {
                value = s[0];
            } else if (k >= rows) {
                value = s[rows - 1];
            } else {
                const double span = xs[k] - xs[k - 1];
                // Two samples at one X give no slope: hold the earlier one.
                value =
                    span != 0.0 ? s[k - 1] + (x - xs[k - 1]) * (s[k] - s[k - 1]) / span : s[k - 1];
            }
            values[static_cast<size_t>(first + v - 1)] = value;
            flags[static_cast<size_t>(first + v - 1)] = kPointMissing;
        }
    };
    std::lock_guard<std::recursive_mutex> hold(r->Lock());
    std::int32_t i = 0, j = 0, row = 0;
    while (i < ra || j < rb) {
        double x;
        const bool takeA = j >= rb || (i < ra && xa[i] < xb[j]);
        const bool takeB = i >= ra || (j < rb && xb[j] < xa[i]);
        if (takeA) {
            x = xa[i];
            own(da, i, 1, na);
            other(db, xb, rb, j, x, na, nb);
            ++i;
        } else if (takeB) {
            x = xb[j];
            other(da, xa, ra, i, x, 1, na);
            own(db, j, na, nb);
            ++j;
        } else {
            x = xa[i];
            own(da, i, 1, na);
            own(db, j, na, nb);
            ++i;
            ++j;
        }
        values[0] = x;
        flags[0] = kPointValid;
        if (!r->SetRowLocked(row++, values.data(), flags.data(), 0, -1)) return false;
    }
    r->SetUniformX(0);
    r->SetBadPoints(1);
    r.UpdateExtents();
    result = r;
    return true;
}

bool MergeIntoRuns(const CResultDataRef& a, const CResultDataRef& b, CResultDataRef& result,
                   const std::string& suffix, const std::string& path, UserMessages& messages) {
    const std::int32_t theirs = b->RunCount();
    if (theirs > 1) {
        messages.Show(Format("%s holds %d runs: only a file of one run can be merged, into "
                             "every run shown. Add it as runs instead.",
                             path.c_str(), static_cast<int>(theirs)),
                      MessageIcon::Stop);
        return false;
    }
    if (a->RunCount() == 1) return MergeDataSets(a, b, result, suffix, messages);
    std::vector<CResultDataRef> merged(static_cast<size_t>(a->RunCount()));
    for (std::int32_t k = 0; k < a->RunCount(); ++k) {
        CResultDataRef run;
        run.ShareColumnsOf(*a->Run(k));
        CResultDataRef& into = merged[static_cast<size_t>(k)];
        if (MergeDataSets(run, b, into, suffix, messages)) continue;
        if (k == 0) return false;
        into = run;
    }
    CResultDataRef joined = merged.front();
    joined->SetRunName(0, a->RunName(0));
    for (std::int32_t k = 1; k < a->RunCount(); ++k)
        joined->AddRun(merged[static_cast<size_t>(k)].Get(), a->RunName(k));
    result = joined;
    return true;
}

}  // namespace kurvex
