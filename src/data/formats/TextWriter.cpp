#include "data/formats/TextWriter.h"

#include <cmath>
#include <cstring>
#include <mutex>

#include "data/formats/QuotedNames.h"
#include "data/model/SaveSnapshot.h"
#include "data/platform/NameText.h"
#include "data/platform/NumberText.h"

namespace kurvex {

namespace {

constexpr size_t kColumn = 18;
constexpr size_t kOrderColumn = 10;
constexpr size_t kMaxName = 100;

bool Finish(std::FILE* file) {
    return std::fflush(file) == 0 && !std::ferror(file);
}

void Put(std::FILE* file, const std::string& s) {
    std::fwrite(s.data(), 1, s.size(), file);
}

// Appends printf output to `line` without a temporary string.
template <class... Args>
void Append(std::string& line, const char* fmt, Args... args) {
    char buf[64];
    const int n = std::snprintf(buf, sizeof buf, fmt, args...);
    if (n > 0 && static_cast<size_t>(n) < sizeof buf) {
        line.append(buf, static_cast<size_t>(n));
    } else if (n > 0) {
        line += Format(fmt, args...);
    }
}

// The reader's marker for a valid sample that is no finite number (a binary
// file may hold one), so that the file opens again with the point invalid;
// null for a finite value.
const char* NonFiniteMarker(double v) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v > 0 ? "#INF" : "-#INF";
    return nullptr;
}

}  // namespace

void AppendDelimitedSample(std::string& out, double value, std::uint8_t flag) {
    switch (flag) {
        case kPointValid:
            if (const char* marker = NonFiniteMarker(value))
                out += marker;
            else
                AppendExactNumber(out, value);
            break;
        case kPointMissing:
            out += "MISSING";
            break;
        default:
            out += "NAN";
            break;
    }
}

std::string ColumnName(const CResultVariable* v, size_t index) {
    std::string name = v && v->HasName() ? v->Name() : Format("Graph(%i)", static_cast<int>(index));
    // A line end inside a name would end the header line early.
    for (char& c : name) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') c = '_';
    }
    return name;
}

bool WriteFixedWidth(std::FILE* file, const std::vector<const CResultVariable*>& vars,
                     std::int32_t count, bool orderColumn, int firstOrder) {
    if (vars.empty() || count <= 0) return Finish(file);
    std::string line;
    size_t base = 0;
    if (orderColumn) {
        line = "  Order";
        line.resize(kOrderColumn, ' ');
        base = kOrderColumn;
    }
    std::vector<std::string> names;
    for (size_t i = 0; i < vars.size(); ++i) {
        std::string name = ColumnName(vars[i], i);
        if (name.size() > kMaxName) {
            // Cut a UTF-8 name between characters, so it still reads as UTF-8.
            size_t cut = kMaxName;
            if (IsUtf8(name)) {
                while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
            }
            name.resize(cut);
        }
        names.push_back(std::move(name));
    }
    // Names of digits alone would make the header read as a row of numbers.
    const bool quote = !orderColumn && NamesReadAsNumbers(names);
    for (size_t i = 0; i < vars.size(); ++i) {
        const std::string name = quote ? QuotedName(names[i]) : names[i];
        const size_t end = base + kColumn * (i + 1);
        if (line.size() + 2 + name.size() + 1 <= end) line += "  ";
        line += name;
        do {
            line += ' ';
        } while (line.size() < end);
    }
    line += "\r\n";
    Put(file, line);
    for (std::int32_t r = 0; r < count; ++r) {
        line.clear();
        if (orderColumn) Append(line, "%*i ", 9, firstOrder + r);
        for (const CResultVariable* v : vars) {
            switch (v->Flags()[r]) {
                case kPointValid:
                    if (const char* marker = NonFiniteMarker(v->Values()[r]))
                        Append(line, "%*s ", 17, marker);
                    else
                        Append(line, "%*.9E ", 17, v->Values()[r]);
                    break;
                case kPointMissing:
                    Append(line, "%*s ", 17, "MISSING");
                    break;
                default:
                    Append(line, "%*s ", 17, "NAN");
                    break;
            }
        }
        line += "\r\n";
        Put(file, line);
    }
    return Finish(file);
}

bool WriteDelimited(std::FILE* file, const std::vector<const CResultVariable*>& vars,
                    std::int32_t count, const char* separator, const char* lineEnd,
                    bool orderColumn, int firstOrder) {
    if (vars.empty() || count <= 0) return Finish(file);
    std::string line;
    if (orderColumn) {
        line += "Order";
        line += separator;
    }
    std::vector<std::string> names;
    for (size_t i = 0; i < vars.size(); ++i) names.push_back(ColumnName(vars[i], i));
    const bool quote = !orderColumn && NamesReadAsNumbers(names);
    for (size_t i = 0; i < vars.size(); ++i) {
        if (i > 0) line += separator;
        line += quote ? QuotedName(names[i]) : DelimitedName(names[i]);
    }
    line += lineEnd;
    Put(file, line);
    for (std::int32_t r = 0; r < count; ++r) {
        line.clear();
        if (orderColumn) {
            Append(line, "%*i", 9, firstOrder + r);
            line += separator;
        }
        for (size_t i = 0; i < vars.size(); ++i) {
            if (i > 0) line += separator;
            const CResultVariable* v = vars[i];
            AppendDelimitedSample(line, v->Values()[r], v->Flags()[r]);
        }
        line += lineEnd;
        Put(file, line);
    }
    return Finish(file);
}

bool ExportDataSet(const CResultDataRef& data, std::FILE* file, const char* prefix, int mode) {
    SaveSnapshot snap;
    if (!TakeSaveSnapshot(data, prefix, snap)) return false;
    std::vector<const CResultVariable*> vars;
    for (const auto& v : snap.vars) vars.push_back(v.get());
    const std::int32_t rows = snap.rows;
    switch (mode) {
        case kExportFixedWidth:
            return WriteFixedWidth(file, vars, rows, false, 0);
        case kExportTab:
            return WriteDelimited(file, vars, rows, "\t", "\r\n", false, 0);
        case kExportComma:
            return WriteDelimited(file, vars, rows, ",", "\r\n", false, 0);
        default:
            return false;
    }
}

}  // namespace kurvex
