#include "app/ScreenOutput.h"

#include "graph/render/Renderer.h"

namespace kurvex {

namespace {

// Puts back what drawing elsewhere than on the window changes in a model.
class KeepWindowState {
public:
    explicit KeepWindowState(CGraphCurve& model)
        : model_(model), plot_(model.Plot()), metrics_(model.Metrics()) {}
    ~KeepWindowState() {
        model_.SetPlot(plot_);
        model_.SetMetrics(metrics_);
    }
    KeepWindowState(const KeepWindowState&) = delete;
    KeepWindowState& operator=(const KeepWindowState&) = delete;

private:
    CGraphCurve& model_;
    PlotRect plot_;
    CharMetrics metrics_;
};

}  // namespace

void DrawScreensAt(Canvas& canvas, const std::vector<CGraphCurve*>& screens,
                   const std::vector<Rect>& places, const OutputDraw& how) {
    for (size_t i = 0; i < screens.size() && i < places.size(); ++i) {
        CGraphCurve& model = *screens[i];
        KeepWindowState keep(model);
        if (how.metrics) model.SetMetrics(*how.metrics);
        DrawOptions o;
        o.target = places[i];
        o.scale = how.scale;
        o.recordLegend = false;
        o.force = true;
        o.fullRedraw = true;
        o.drawGrid = model.GridShown() != 0;
        o.showSelectionMark = false;
        o.printing = how.printing;
        DrawMemory fresh;
        DrawScreen(model, canvas, o, fresh);
    }
}

}  // namespace kurvex
