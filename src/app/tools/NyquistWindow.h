#pragma once

#include <QObject>
#include <functional>

#include "graph/canvas/GraphTypes.h"

namespace kurvex {

class CGraphDocument;
class CGraphWnd;
class COhmixGraphView;

// Shows a new document in a graph window of its own; the window's view.
using NewViewWindow = std::function<COhmixGraphView*(CGraphDocument*)>;

// The Nyquist curve of the selected amplitude/phase pair of a view, shown as
// a document of its own: one X-Y screen of Im over Re, so zoom, pan, measure
// and printing work as on any X-Y curve. The object lives on the screen and
// keeps one unit as long on X as on Y through resizes and zooms.
class NyquistWindow : public QObject {
    Q_OBJECT
public:
    // Opens the window for the selection of `source`, its document owned by
    // `owner` and shown by `show`; the new view, or null (with a message) when
    // the selection has no amplitude/phase pair.
    static COhmixGraphView* Open(COhmixGraphView& source, QObject* owner,
                                 const NewViewWindow& show);

    // The region the user asked to see, shown whole at equal scales.
    void SetWanted(const AxisRange& x, const AxisRange& y);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit NyquistWindow(CGraphWnd* screen);
    // Shows the wanted region at equal scales on the screen's plot as it is now.
    void Apply();

    CGraphWnd* screen_;
    AxisRange wantedX_;
    AxisRange wantedY_;
};

}  // namespace kurvex
