#pragma once

#include <vector>

#include "data/model/ResultData.h"

class QWidget;

namespace kurvex {

class CGraphCurve;

// What a document asks of a view that shows it when its data changes. The
// view knows its document; the document knows its views only through this.
class DocumentView {
public:
    virtual ~DocumentView() = default;

    // Re-binds the screens to `fresh`; false when the view lost its X
    // variable and must close.
    virtual bool Rebind(const CResultDataRef& fresh, bool* invalidPoints) = 0;
    // Both axes fitted, or Y only with X kept.
    virtual void RescaleAfterRequest(bool redrawX) = 0;
    // The screens show `merged`; true on invalid points.
    virtual bool TakeMergedData(const CResultDataRef& merged) = 0;
    // Lets the user pick curves among the merged variables.
    virtual void OfferCurvesAfterMerge() = 0;
    // No curve of the view is selected any more.
    virtual void ForgetCurveSelection() = 0;
    // Closes the view's window.
    virtual void CloseWindow() = 0;
    // The screens, top first.
    virtual std::vector<const CGraphCurve*> ConstRecords() const = 0;
    // The widget that dialogs about the view are raised over.
    virtual QWidget* DialogParent() = 0;
};

}  // namespace kurvex
