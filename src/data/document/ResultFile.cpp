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
#include "data/formats/ReaderTable.h"
#include "data/model/RunAdjust.h"
#include "data/platform/NameText.h"
#include "data/platform/NumberText.h"

namespace kurvex {

namespace {

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
    const ReaderRow& reader = ReaderFor(head, path);
    bool ok = false;
    if (options.plot > 0 && !reader.plots) {
        NoSuchPlot(path, options.plot, messages);
    } else {
        const CacheRoute route =
            reader.cache == CacheKind::None
                ? CacheRoute::NotUsed
                : ReadThroughCache(path, data, options,
                                   reader.cache == CacheKind::Text ? &messages : nullptr);
        if (route == CacheRoute::Stopped) return false;
        ok = route == CacheRoute::Read || reader.read(path, data, settings, messages, options);
    }
    if (ok) {
        const XKind kind = data->GetXKind() != XKind::Unknown ? data->GetXKind()
                           : reader.x != XKind::Unknown       ? reader.x
                                                              : XKindOf(*data.Get());
        for (std::int32_t k = 0; k < data->RunCount(); ++k) data->Run(k)->SetXKind(kind);
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
