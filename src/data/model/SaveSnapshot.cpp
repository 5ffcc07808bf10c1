#include "data/model/SaveSnapshot.h"

#include <algorithm>
#include <mutex>

#include "data/platform/NumberText.h"

namespace kurvex {

bool TakeSaveSnapshot(const CResultDataRef& ref, const char* prefix, SaveSnapshot& s) {
    s = SaveSnapshot{};
    CResultData* data = ref.Get();
    std::lock_guard<std::recursive_mutex> hold(data->Lock());
    s.rows = data->RowCount();
    s.uniformX = data->UniformX() != 0;
    s.badPoints = data->BadPoints() != 0;
    const std::int32_t n = data->VariableCount();
    if (n < 1 || s.rows < 1) return true;
    s.vars.reserve(static_cast<size_t>(n));
    if (!data->CopyOnSave()) {
        for (std::int32_t i = 0; i < n; ++i) s.vars.emplace_back(data->Variable(i));
        return true;
    }
    for (std::int32_t i = 0; i < n; ++i) {
        CResultVariable* copy = data->Variable(i)->CopyResized(s.rows, s.rows);
        if (!copy) {
            s.vars.clear();
            return false;
        }
        s.vars.emplace_back(copy);
        if (i > 0 && prefix && *prefix) copy->SetName(std::string(prefix) + "_" + copy->Name());
    }
    CResultVariable* x = s.vars[0].get();
    const std::uint8_t* f = x->Flags();
    const auto k = static_cast<std::int32_t>(std::find(f, f + s.rows, kPointValid) - f);
    if (k < s.rows && x->Values()[k] != 0.0) {
        const double origin = x->Values()[k];
        for (std::int32_t r = 0; r < s.rows; ++r) x->Values()[r] -= origin;
    }
    return true;
}

std::string DefaultVariableName(std::int32_t index) {
    return index == 0 ? std::string("Time") : Format("Y%i", index);
}

}  // namespace kurvex
