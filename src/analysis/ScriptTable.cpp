#include "analysis/ScriptTable.h"

#include <cctype>

#include "analysis/MeasScript.h"
#include "analysis/MeasSource.h"

namespace kurvex {

namespace {

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

const ScriptCell* ScriptTable::Find(const std::string& name, std::int32_t run) const {
    for (std::size_t c = 0; c < columns.size(); ++c) {
        if (!SameName(columns[c], name)) continue;
        for (const ScriptRow& r : rows)
            if (r.run == run && c < r.cells.size()) return &r.cells[c];
        return nullptr;
    }
    return nullptr;
}

ScriptTable MeasureScriptRuns(const std::string& text, const CResultDataRef& data,
                              const std::vector<std::int32_t>& runs,
                              const std::function<bool(int, int)>& progress) {
    ScriptTable table;
    MeasScript script;
    MeasSyntaxError syntax;
    if (!ParseMeasScript(MeasLinesOf(text, MeasSourceKind::Script), script, syntax)) {
        table.error = "line " + std::to_string(syntax.line) + ", column " +
                      std::to_string(syntax.column) + ": " + syntax.message;
        return table;
    }
    for (const MeasUnsupported& u : script.unsupported)
        table.notes.push_back("line " + std::to_string(u.line) + ": " + u.name +
                              ": not supported: " + u.reason);
    for (const MeasStatement& st : script.statements) table.columns.push_back(st.name);
    const int total = static_cast<int>(runs.size());
    for (const std::int32_t k : runs) {
        if (!data.Get() || k < 0 || k >= data->RunCount()) continue;
        ScriptRow row{k, data->RunName(k), {}};
        if (row.name.empty()) row.name = "Run " + std::to_string(k + 1);
        for (const MeasValue& v : EvaluateMeasScript(script, data, k))
            row.cells.push_back({v.value, v.error});
        row.cells.resize(table.columns.size(), ScriptCell{std::nullopt, "not measured"});
        table.rows.push_back(std::move(row));
        if (progress && !progress(static_cast<int>(table.rows.size()), total)) {
            table.cancelled = table.rows.size() < runs.size();
            break;
        }
    }
    return table;
}

}  // namespace kurvex
