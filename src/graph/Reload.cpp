#include "graph/Reload.h"

#include <algorithm>

#include "formula/FormulaVariable.h"

namespace kurvex {

RebindResult RebindView(const std::vector<CGraphCurve*>& screens, const CResultDataRef& fresh) {
    RebindResult result;
    if (screens.empty()) return result;
    const std::string xName = screens.back()->XVariableName();
    const std::int32_t xIndex = fresh.FindVariable(xName.c_str());
    if (xName.empty() || xIndex < 0) {
        result.closeView = true;
        return result;
    }
    for (CGraphCurve* screen : screens) {
        screen->EnterBusy();  // not drawn half re-bound
        for (std::int32_t i = screen->CurveCount() - 1; i >= 0; --i) {
            CCurveEntry& curve = screen->Curve(i);
            FormulaError error;
            const bool fits =
                curve.sourceKind != kCurveFormula || CheckFormula(fresh, curve.formula, error);
            const CurveBindResult bound = fits ? curve.Bind(fresh) : CurveBindResult{};
            if (!bound.ok) {
                screen->RemoveCurve(i);
                continue;
            }
            // What was derived from the old samples is stale.
            curve.formulaLog = RefPtr<CResultVariable>();
            curve.spectrum = RefPtr<CResultVariable>();
            curve.spectrumCache.reset();
            result.invalidPoints = result.invalidPoints || bound.invalidPoints;
        }
        screen->SetData(fresh);
        if (screen->XIndex() != xIndex) screen->SetXIndex(xIndex);
    }
    for (auto it = screens.rbegin(); it != screens.rend(); ++it) {
        result.invalidPoints = (*it)->UpdateExtents() || result.invalidPoints;
        (*it)->LeaveBusy();
    }
    return result;
}

void QueueRequest(std::vector<std::string>& waiting, const std::string& name) {
    std::erase(waiting, name);
    waiting.push_back(name);
}

}  // namespace kurvex
