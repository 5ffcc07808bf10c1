#include "data/model/Runs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "data/platform/NameText.h"
#include "data/platform/NumberText.h"

namespace kurvex {

std::vector<std::int32_t> RunStarts(const CResultData& data) {
    std::vector<std::int32_t> starts = {0};
    const std::int32_t rows = data.RowCount();
    if (data.VariableCount() == 0 || rows < 2) return starts;
    const double* x = data.Variable(0)->Values();
    for (std::int32_t r = 1; r < rows; ++r)
        if (x[r] == x[0]) starts.push_back(r);
    return starts;
}

namespace {

// Rows from .. from + n - 1 of `whole` as a new data set in `out`.
bool CopyRows(const CResultData& whole, std::int32_t from, std::int32_t n, CResultDataRef& out) {
    const std::int32_t count = whole.VariableCount();
    if (n < 0 || !out.Initialise(kDataSetPlain, count, std::max(n, 1), 100)) return false;
    CResultData& run = *out.Get();
    std::lock_guard<std::recursive_mutex> hold(run.Lock());
    bool bad = false;
    for (std::int32_t v = 0; v < count; ++v) {
        const CResultVariable& source = *whole.Variable(v);
        CResultVariable& target = *run.Variable(v);
        run.SetVariableName(v, source.Name());
        target.SetUnit(source.Unit());
        target.SetDescription(source.Description());
        if (n == 0) continue;
        std::memcpy(target.Values(), source.Values() + from, sizeof(double) * n);
        std::memcpy(target.Flags(), source.Flags() + from, n);
        bad = bad || std::any_of(target.Flags(), target.Flags() + n,
                                 [](std::uint8_t f) { return f != kPointValid; });
    }
    run.SetRowCountLocked(n);
    run.SetBadPoints(bad);
    run.UpdateExtents();
    run.SetUniformX(
        n > 1 && count > 0 ? CResultDataRef::UniformTest(run.Variable(0)->Values(), 0, n - 1) : 0);
    return true;
}

}  // namespace

bool SplitIntoRuns(CResultDataRef& data, const std::vector<std::int32_t>& starts,
                   const std::vector<std::string>& names) {
    const CResultData& whole = *data.Get();
    const std::int32_t rows = whole.RowCount();
    if (starts.size() < 2) {
        if (!names.empty()) data->SetRunName(0, names.front());
        return true;
    }
    std::vector<CResultDataRef> runs(starts.size());
    for (size_t k = 0; k < starts.size(); ++k) {
        const std::int32_t from = starts[k];
        const std::int32_t to = k + 1 < starts.size() ? starts[k + 1] : rows;
        if (!CopyRows(whole, from, to - from, runs[k])) return false;
        CResultData& run = *runs[k].Get();
        if (k < names.size()) run.SetRunName(0, names[k]);
        run.SetXKind(whole.GetXKind());
    }
    for (size_t k = 1; k < runs.size(); ++k)
        runs[0]->AddRun(runs[k].Get(), k < names.size() ? names[k] : std::string());
    data = runs[0];
    return true;
}

bool CopyRun(const CResultData& data, std::int32_t k, CResultDataRef& out) {
    const CResultData* run = data.Run(k);
    if (!run || !CopyRows(*run, 0, run->RowCount(), out)) return false;
    out->SetRunName(0, data.RunName(k));
    out->SetXKind(run->GetXKind());
    return true;
}

std::vector<std::string> LogStepNames(std::string_view log) {
    // LTspice writes UTF-16LE, often without a mark: zero bytes tell it.
    size_t at = 0;
    int wide = 0;  // 0 bytes, 1 little-endian, 2 big-endian
    if (log.size() >= 2 && log[0] == '\xFF' && log[1] == '\xFE') {
        wide = 1, at = 2;
    } else if (log.size() >= 2 && log[0] == '\xFE' && log[1] == '\xFF') {
        wide = 2, at = 2;
    } else if (log.size() >= 3 && log.substr(0, 3) == "\xEF\xBB\xBF") {
        at = 3;
    } else if (log.find('\0') != std::string_view::npos) {
        const size_t zero = log.find('\0');
        wide = zero % 2 == 1 ? 1 : 2;
    }
    std::string text;
    text.reserve(wide ? log.size() / 2 : log.size());
    if (wide) {
        for (size_t i = at; i + 1 < log.size(); i += 2) {
            const auto lo = static_cast<unsigned char>(log[wide == 1 ? i : i + 1]);
            const auto hi = static_cast<unsigned char>(log[wide == 1 ? i + 1 : i]);
            // Step names are ASCII; anything wider is kept as a mark.
            text += hi == 0 ? static_cast<char>(lo) : '?';
        }
    } else {
        text.assign(log.substr(at));
    }
    std::vector<std::string> steps;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    size_t line = 0;
    while (line < text.size()) {
        size_t end = text.find('\n', line);
        if (end == std::string::npos) end = text.size();
        size_t b = line, e = end;
        while (b < e && blank(text[b])) ++b;
        while (e > b && blank(text[e - 1])) --e;
        const std::string_view l(text.data() + b, e - b);
        if (l.size() > 5 && (l[5] == ' ' || l[5] == '\t') &&
            SameName(std::string(l.substr(0, 5)), ".step")) {
            size_t n = 5;
            while (n < l.size() && blank(l[n])) ++n;
            steps.emplace_back(l.substr(n));
        }
        line = end + 1;
    }
    return steps;
}

std::string StepLogPath(const std::string& rawPath) {
    const std::filesystem::path raw(rawPath);
    const std::filesystem::path folder = raw.has_parent_path() ? raw.parent_path() : ".";
    const std::string stem = raw.stem().string();
    std::error_code ec;
    const std::string exact = (folder / (stem + ".log")).string();
    if (std::filesystem::is_regular_file(exact, ec)) return exact;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::filesystem::path& p = it->path();
        if (p.stem().string() == stem && SameName(p.extension().string(), ".log") &&
            it->is_regular_file(ec))
            return p.string();
    }
    return {};
}

std::vector<std::string> StepRunNames(const std::string& rawPath, std::size_t count,
                                      std::string* note) {
    // LTspice's log says the steps in its first lines; a log this long is no
    // use to read further.
    constexpr std::uintmax_t kLogBytes = 16 << 20;
    std::vector<std::string> names;
    if (const std::string log = StepLogPath(rawPath); !log.empty()) {
        std::error_code ec;
        const std::uintmax_t size = std::filesystem::file_size(log, ec);
        std::string bytes(ec ? 0 : static_cast<size_t>(std::min(size, kLogBytes)), '\0');
        if (std::FILE* f = std::fopen(log.c_str(), "rb")) {
            bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
            std::fclose(f);
            names = LogStepNames(bytes);
        }
        if (names.size() != count && note)
            *note = Format(
                "The log %s names %zu step%s, but the file holds %zu run%s: "
                "the runs are named by number.",
                std::filesystem::path(log).filename().c_str(), names.size(),
                names.size() == 1 ? "" : "s", count, count == 1 ? "" : "s");
    }
    if (names.size() != count) {
        names.clear();
        for (size_t k = 0; k < count; ++k) names.push_back(Format("Run %zu", k + 1));
    }
    return names;
}

std::string RunFilePath(const std::string& path, std::int32_t number) {
    const std::filesystem::path p(path);
    const std::string file = p.stem().string() + Format("-%d", number) + p.extension().string();
    return p.has_parent_path() ? (p.parent_path() / file).string() : file;
}

std::int32_t RunVariable(const CResultData& run, const std::string& name) {
    for (std::int32_t i = 0; i < run.VariableCount(); ++i) {
        const CResultVariable* v = run.Variable(i);
        if (v->HasName() && SameName(v->Name(), name)) return i;
    }
    return -1;
}

std::vector<std::string> RunNamesForFiles(const std::vector<std::string>& paths) {
    // The folders of each path, innermost first.
    std::vector<std::vector<std::string>> folders(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        std::string rest = paths[i];
        const size_t slash = rest.find_last_of('/');
        rest = slash == std::string::npos ? std::string() : rest.substr(0, slash);
        while (!rest.empty()) {
            const size_t cut = rest.find_last_of('/');
            const std::string part = cut == std::string::npos ? rest : rest.substr(cut + 1);
            if (!part.empty()) folders[i].push_back(part);
            rest = cut == std::string::npos ? std::string() : rest.substr(0, cut);
        }
    }
    std::vector<std::string> names(paths.size());
    std::vector<size_t> depth(paths.size(), 0);
    for (size_t i = 0; i < paths.size(); ++i) names[i] = FileTitle(paths[i]);
    // Names that clash take one more folder each round, as long as they have one.
    for (;;) {
        std::vector<bool> clash(names.size(), false);
        for (size_t i = 0; i < names.size(); ++i)
            for (size_t j = i + 1; j < names.size(); ++j)
                if (names[i] == names[j]) clash[i] = clash[j] = true;
        bool grew = false;
        for (size_t i = 0; i < names.size(); ++i) {
            if (!clash[i] || depth[i] >= folders[i].size()) continue;
            names[i] = folders[i][depth[i]++] + "/" + names[i];
            grew = true;
        }
        if (!grew) break;
    }
    return names;
}

}  // namespace kurvex
