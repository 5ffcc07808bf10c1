#include "analysis/Averages.h"

#include <algorithm>
#include <cmath>

#include "analysis/Measure.h"
#include "data/cache/CachedResult.h"
#include "graph/RunColours.h"

namespace kurvex {

namespace {

// Without `withAbs` meanAbs is left NaN: a cached column then sums from its
// pyramid without reading samples.
std::optional<AverageFigures> Figures(const double* y, std::int32_t first, std::int32_t last,
                                      bool withAbs) {
    if (!y || first < 0 || last < first) return std::nullopt;
    const std::int32_t n = last - first + 1;
    const double count = static_cast<double>(n);
    // A cached column sums from its pyramid: a window of 5e8 rows in
    // milliseconds. Its buckets add in another order than this walk, so the
    // figures may differ from the walk's in the last few bits.
    if (const auto s = CachedSums(y, first, std::int64_t(last) + 1, withAbs))
        return AverageFigures{s->sum / count, withAbs ? s->sumAbs / count : NAN,
                              std::sqrt(s->sumSquares / count), n};
    // Three independent sums: one pass, no chain waits on another.
    double sum = 0.0;
    double sumAbs = 0.0;
    double sumSquares = 0.0;
    for (std::int32_t i = first; i <= last; ++i) {
        const double v = y[i];
        sum += v;
        sumAbs += std::fabs(v);
        sumSquares += v * v;
    }
    return AverageFigures{sum / count, sumAbs / count, std::sqrt(sumSquares / count), n};
}

}  // namespace

std::optional<AverageFigures> AveragesOver(const double* y, std::int32_t first, std::int32_t last) {
    return Figures(y, first, last, true);
}

const char* AverageCaption(AverageKind kind) {
    switch (kind) {
        case AverageKind::Mean:
            return "Average Value";
        case AverageKind::MeanAbs:
            return "Average of the |X| Value";
        case AverageKind::Rms:
            return "RMS Value";
    }
    return "";
}

std::optional<MeasureResult> AverageCommand(const std::vector<CGraphCurve*>& screens,
                                            AverageKind kind) {
    const auto target = FindMeasureTarget(screens);
    if (!target) return std::nullopt;
    CGraphCurve& screen = *screens[static_cast<std::size_t>(target->screen)];
    if (target->curve < 0 || target->curve >= screen.CurveCount()) return std::nullopt;
    const CCurveEntry& curve = screen.Curve(target->curve);
    MeasureResult result{AverageCaption(kind), curve.formula, std::nullopt, curve.colour};
    const CurveSamples s = SamplesOf(screen, target->curve);
    // A later run says which it is, in the colour it is drawn with.
    if (const std::int32_t run = MeasuredRunOf(screen, target->curve); run > 0) {
        result.label += " [" + RunNameOf(screen, run) + "]";
        result.colour = RunAppearance(curve.colour, run, screen.DrawnRunCount(),
                                      screen.CurveCount(), screen.BlackWhite())
                            .colour;
    }
    if (s.y) {
        const SampleRange r = VisibleRange(s, screen.XRange().from, screen.XRange().to);
        // One pass gives all three figures at the cost of one; |x| alone
        // costs a cached column's pyramid its reads.
        if (const auto f = Figures(s.y, r.first, std::min(r.last, s.yCount - 1),
                                   kind == AverageKind::MeanAbs)) {
            result.value = kind == AverageKind::Mean      ? f->mean
                           : kind == AverageKind::MeanAbs ? f->meanAbs
                                                          : f->rms;
        }
    }
    return result;
}

}  // namespace kurvex
