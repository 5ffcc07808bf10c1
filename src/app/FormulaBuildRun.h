#pragma once

#include <QString>
#include <string>

#include "graph/CurveEntry.h"

class QWidget;

namespace kurvex {

// While one lives, a formula curve bound on the interface thread whose build
// goes to the cache (FormulaGoesToCache) first has its files written on a
// worker under a progress dialog with Cancel; Bind then only maps them. A
// cancel leaves the curve out, with no message. Small results build as ever.
class FormulaBuildScope {
public:
    // `leaveOut`: formula curves are left out (see ScopedFormulaPrebuild).
    explicit FormulaBuildScope(QWidget* parent, FormulaBuildOptions options = {},
                               bool leaveOut = false);

    // The progress dialog's text for formula `text`.
    static QString Label(const std::string& text);

private:
    ScopedFormulaPrebuild scope_;
};

}  // namespace kurvex
