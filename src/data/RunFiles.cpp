#include "data/RunFiles.h"

#include "data/NameText.h"
#include "data/NumberText.h"

namespace kurvex {

bool AppendRuns(CResultDataRef& result, const CResultDataRef& added, const std::string& name,
                const std::string& path, UserMessages& messages) {
    const CResultData& base = *result.Get();
    const CResultData& more = *added.Get();
    if (base.VariableCount() == 0 || more.VariableCount() == 0) return false;
    const std::string& x = base.Variable(0)->Name();
    const std::string& theirs = more.Variable(0)->Name();
    if (!SameName(x, theirs)) {
        messages.Show(Format("The X variable of %s is \"%s\", not \"%s\" as in the runs shown: it "
                             "cannot be added as a run.",
                             path.c_str(), DisplayName(theirs).c_str(), DisplayName(x).c_str()),
                      MessageIcon::Stop);
        return false;
    }
    CResultDataRef joined;
    joined.ShareColumnsOf(base);
    for (std::int32_t k = 1; k < base.RunCount(); ++k)
        joined->AddRun(const_cast<CResultData*>(base.Run(k)), base.RunName(k));
    for (std::int32_t k = 0; k < more.RunCount(); ++k) {
        CResultDataRef run;
        run.ShareColumnsOf(*more.Run(k));
        const std::string& own = more.RunName(k);
        run->SetRunName(0, {});
        joined->AddRun(run.Get(), more.RunCount() == 1 || own.empty() ? name : name + ": " + own);
    }
    result = joined;
    return true;
}

}  // namespace kurvex
