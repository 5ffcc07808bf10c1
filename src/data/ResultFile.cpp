#include "data/ResultFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <vector>

#include "data/BlockContainerFile.h"
#include "data/NameText.h"
#include "data/NumberText.h"
#include "data/SettingsDataFile.h"

namespace kurvex {

namespace {

// Says nothing: for loads that must not report failing to open.
class Silent : public UserMessages {
public:
    void Show(const std::string&, MessageIcon) override {}
};

// Reads the magic number, 0 for a shorter file; false when the file cannot be opened.
bool ReadMagic(const std::string& path, std::uint32_t& magic, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = Format("Cannot open \"%s\": %s.", path.c_str(), std::strerror(errno));
        return false;
    }
    unsigned char b[4] = {0, 0, 0, 0};
    const size_t got = std::fread(b, 1, 4, f);
    std::fclose(f);
    magic = got == 4 ? static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
                           static_cast<std::uint32_t>(b[2]) << 16 |
                           static_cast<std::uint32_t>(b[3]) << 24
                     : 0;
    return true;
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
    std::uint32_t magic = 0;
    std::string error;
    if (!ReadMagic(path, magic, error)) {
        if (options.reportErrors) messages.Show(error, MessageIcon::Stop);
        return false;
    }
    bool ok = false;
    if (magic == kSettingsDataMagic) {
        const DataPartResult r = LoadSettingsDataFile(path, data, settings, messages);
        ok = r == DataPartResult::Read || r == DataPartResult::Empty;
    } else if (magic == kBlockContainerMagic) {
        std::vector<CIOBuffer> streams;
        ok = ReadBlockContainer(path, data, streams, messages);
        if (ok && settings && !streams.empty()) settings->Move(streams.front());
    } else {
        std::vector<std::string> names;
        ok = ReadTextResult(path, data, names, messages, options.text);
    }
    if (ok && options.showWarnings && data->BadPoints()) {
        messages.Show(
            Format("Warning: File %s\r\ncontains missing or invalid points.", path.c_str()),
            MessageIcon::Exclamation);
    }
    return ok;
}

std::string FileTitle(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.resize(dot);
    return name;
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

}  // namespace kurvex
