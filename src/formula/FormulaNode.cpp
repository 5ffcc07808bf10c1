#include "formula/FormulaNode.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <vector>

#include "data/model/ResultVariable.h"

namespace kurvex {

namespace {

double Sign(double a) {
    if (a > 0.0) return 1.0;
    if (a == 0.0) return 0.0;
    return -1.0;  // negative or NaN
}

template <class F>
void Map1(const double* a, double* out, std::int32_t n, F f) {
    for (std::int32_t j = 0; j < n; ++j) out[j] = f(a[j]);
}

template <class F>
void Map2(const double* a, const double* b, double* out, std::int32_t n, F f) {
    for (std::int32_t j = 0; j < n; ++j) out[j] = f(a[j], b[j]);
}

// One trapezoidal step of the parallel RLC circuit fed by x as a current;
// returns the capacitor current, the high-passed x.
struct HighPassState {
    double gC, gL, g;
    double v, iC, iL;

    double Step(double x) {
        const double b = iC / gC + v;
        const double d = -(iL / gL) - v;
        const double vNext = (x + gC * b + gL * d) / (gC + gL + g);
        iC = gC * (vNext - b);
        iL = gL * (vNext - d);
        v = vNext;
        return iC;
    }
};

constexpr double kHighPassC = 0.20264;  // twice the capacitance
constexpr double kHighPassL = 50.0;     // 1 / (2 * inductance)
constexpr double kHighPassG = 4.4563;   // conductance

}  // namespace

double FormulaPower(double x, double y) {
    return y == 2.0 ? x * x : std::pow(x, y);
}

double FormulaDivide(double x, double y) {
    if (y == 0.0) return x == 0.0 ? 0.0 : 1e308;
    return x / y;
}

CFormulaNode::CFormulaNode(FormulaNodeKind kind, std::int32_t position, std::int32_t operandCount)
    : kind_(kind), position_(position), operands_(static_cast<size_t>(operandCount)) {}

CFormulaNode::~CFormulaNode() {
    // Detach the subtree level by level so that each node dies without operands.
    std::vector<std::unique_ptr<CFormulaNode>> pending;
    for (auto& op : operands_) {
        if (op) pending.push_back(std::move(op));
    }
    while (!pending.empty()) {
        std::unique_ptr<CFormulaNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& op : node->operands_) {
            if (op) pending.push_back(std::move(op));
        }
    }
}

std::int32_t CFormulaNode::Precedence() const {
    switch (kind_) {
        case FormulaNodeKind::List:
            return 1;
        case FormulaNodeKind::OpenParenthesis:
        case FormulaNodeKind::Number:
        case FormulaNodeKind::Variable:
            return 10;
        case FormulaNodeKind::Add:
        case FormulaNodeKind::Subtract:
            return 20;
        case FormulaNodeKind::Multiply:
        case FormulaNodeKind::Divide:
            return 30;
        case FormulaNodeKind::Power:
            return 40;
        default:
            return 50;  // sign and functions
    }
}

void CFormulaNode::SetOperand(std::int32_t k, std::unique_ptr<CFormulaNode> node) {
    operands_[static_cast<size_t>(k)] = std::move(node);
}

double CFormulaNode::Apply(const double* operands) {
    // A list stands for its first expression; a parenthesis is never evaluated.
    return HasOperands() ? operands[0] : 0.0;
}

void CFormulaNode::ApplyBlock(const double* const* operands, double* out, std::int32_t count,
                              std::int32_t first) {
    std::vector<double> row(operands_.size());
    for (std::int32_t j = 0; j < count; ++j) {
        for (size_t k = 0; k < row.size(); ++k) row[k] = operands[k][j];
        out[j] = Apply(row.data());
    }
}

FormulaVariableNode::FormulaVariableNode(std::string name, std::int32_t column,
                                         FormulaNodeHost* formula, std::int32_t position)
    : FormulaNumberNode(FormulaNodeKind::Variable, 0.0, position),
      name_(std::move(name)),
      column_(column),
      formula_(formula) {}

double FormulaVariableNode::Apply(const double*) {
    value_ = formula_->SourceValue(column_, formula_->CurrentSample());
    return value_;
}

FormulaOperatorNode::FormulaOperatorNode(FormulaNodeKind kind, std::int32_t position)
    : CFormulaNode(kind, position,
                   kind == FormulaNodeKind::Add || kind == FormulaNodeKind::Subtract ||
                           kind == FormulaNodeKind::Multiply || kind == FormulaNodeKind::Divide ||
                           kind == FormulaNodeKind::Power
                       ? 2
                       : 1) {}

double FormulaOperatorNode::Apply(const double* o) {
    switch (Kind()) {
        case FormulaNodeKind::Add:
            return o[0] + o[1];
        case FormulaNodeKind::Subtract:
            return o[0] - o[1];
        case FormulaNodeKind::Negate:
            return -o[0];
        case FormulaNodeKind::Multiply:
            return o[0] * o[1];
        case FormulaNodeKind::Divide:
            return FormulaDivide(o[0], o[1]);
        case FormulaNodeKind::Power:
            return FormulaPower(o[0], o[1]);
        case FormulaNodeKind::Sqrt:
            return std::sqrt(o[0]);
        case FormulaNodeKind::Sin:
            return std::sin(o[0]);
        case FormulaNodeKind::Cos:
            return std::cos(o[0]);
        case FormulaNodeKind::Tan:
            return std::tan(o[0]);
        case FormulaNodeKind::Atan:
            return std::atan(o[0]);
        case FormulaNodeKind::Exp:
            return std::exp(o[0]);
        case FormulaNodeKind::Log:
            return std::log(o[0]);
        case FormulaNodeKind::Log10:
            return std::log10(o[0]);
        case FormulaNodeKind::Abs:
            return std::fabs(o[0]);
        case FormulaNodeKind::Sign:
            return Sign(o[0]);
        default:
            assert(false && "not an operator");
            return 0.0;
    }
}

// The same definitions as Apply, one tight loop per kind so the simple ones vectorise.
void FormulaOperatorNode::ApplyBlock(const double* const* o, double* out, std::int32_t n,
                                     std::int32_t) {
    const double* a = o[0];
    switch (Kind()) {
        case FormulaNodeKind::Add:
            return Map2(a, o[1], out, n, [](double x, double y) { return x + y; });
        case FormulaNodeKind::Subtract:
            return Map2(a, o[1], out, n, [](double x, double y) { return x - y; });
        case FormulaNodeKind::Negate:
            return Map1(a, out, n, [](double x) { return -x; });
        case FormulaNodeKind::Multiply:
            return Map2(a, o[1], out, n, [](double x, double y) { return x * y; });
        case FormulaNodeKind::Divide:
            return Map2(a, o[1], out, n, FormulaDivide);
        case FormulaNodeKind::Power:
            return Map2(a, o[1], out, n, FormulaPower);
        case FormulaNodeKind::Sqrt:
            return Map1(a, out, n, [](double x) { return std::sqrt(x); });
        case FormulaNodeKind::Sin:
            return Map1(a, out, n, [](double x) { return std::sin(x); });
        case FormulaNodeKind::Cos:
            return Map1(a, out, n, [](double x) { return std::cos(x); });
        case FormulaNodeKind::Tan:
            return Map1(a, out, n, [](double x) { return std::tan(x); });
        case FormulaNodeKind::Atan:
            return Map1(a, out, n, [](double x) { return std::atan(x); });
        case FormulaNodeKind::Exp:
            return Map1(a, out, n, [](double x) { return std::exp(x); });
        case FormulaNodeKind::Log:
            return Map1(a, out, n, [](double x) { return std::log(x); });
        case FormulaNodeKind::Log10:
            return Map1(a, out, n, [](double x) { return std::log10(x); });
        case FormulaNodeKind::Abs:
            return Map1(a, out, n, [](double x) { return std::fabs(x); });
        case FormulaNodeKind::Sign:
            return Map1(a, out, n, Sign);
        default:
            assert(false && "not an operator");
    }
}

FormulaRunningNode::FormulaRunningNode(FormulaNodeKind kind, FormulaNodeHost* formula,
                                       std::int32_t position)
    : CFormulaNode(kind, position, 1), formula_(formula) {}

void FormulaRunningNode::ResetRunning() {
    sum_ = v_ = iC_ = iL_ = 0.0;
}

double FormulaRunningNode::Apply(const double* operands) {
    double out = 0.0;
    ApplyBlock(&operands, &out, 1, formula_->CurrentSample());
    return out;
}

void FormulaRunningNode::ApplyBlock(const double* const* operands, double* out, std::int32_t n,
                                    std::int32_t first) {
    const double* x = operands[0];
    const double dt = formula_->TimeStep();
    switch (Kind()) {
        case FormulaNodeKind::Average: {
            double s = sum_;
            for (std::int32_t j = 0; j < n; ++j) {
                s += x[j];
                out[j] = (s * dt) / ((static_cast<double>(first + j) + 1.0) * dt);
            }
            sum_ = s;
            break;
        }
        case FormulaNodeKind::Integral: {
            double s = sum_;
            for (std::int32_t j = 0; j < n; ++j) {
                s += x[j];
                out[j] = s * dt;
            }
            sum_ = s;
            break;
        }
        case FormulaNodeKind::HighPass: {
            HighPassState h{kHighPassC / dt, kHighPassL * dt, kHighPassG, v_, iC_, iL_};
            for (std::int32_t j = 0; j < n; ++j) out[j] = h.Step(x[j]);
            v_ = h.v;
            iC_ = h.iC;
            iL_ = h.iL;
            break;
        }
        default:
            assert(false && "not a running function");
    }
}

namespace {
constexpr std::uint64_t kNoValueBits = 0x7FF8'0000'00C7'C7C7ull;
}  // namespace

double NoValue() {
    double v;
    std::memcpy(&v, &kNoValueBits, sizeof v);
    return v;
}

bool IsNoValue(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits == kNoValueBits;
}

FormulaPreparedNode::FormulaPreparedNode(FormulaNodeKind kind, FormulaNodeHost* formula,
                                         std::int32_t position, std::int32_t operandCount)
    : CFormulaNode(kind, position, operandCount), formula_(formula) {}

bool IsPreparedKind(FormulaNodeKind kind) {
    return kind == FormulaNodeKind::CycleAverage || kind == FormulaNodeKind::GroupDelay;
}

double FormulaPreparedNode::Apply(const double*) {
    return NoValue();
}

void FormulaPreparedNode::ApplyBlock(const double* const*, double* out, std::int32_t n,
                                     std::int32_t) {
    std::fill(out, out + n, NoValue());
}

FormulaCycleAverageNode::FormulaCycleAverageNode(FormulaNodeHost* formula, std::int32_t position)
    : FormulaPreparedNode(FormulaNodeKind::CycleAverage, formula, position, 2) {}

void FormulaCycleAverageNode::Begin(std::int32_t count) {
    count_ = std::max(count, 0);
    least_ = std::numeric_limits<double>::infinity();
    greatest_ = -std::numeric_limits<double>::infinity();
    armed_ = havePrevious_ = backwards_ = haveLast_ = false;
    bounds_.clear();
    averages_.clear();
    steps_.clear();
    k_ = placed_ = 0;
    sum_ = time_ = 0.0;
}

void FormulaCycleAverageNode::FinishCycle() {
    averages_.push_back(time_ > 0.0 ? sum_ / (2.0 * time_)
                                    : std::numeric_limits<double>::quiet_NaN());
    sum_ = time_ = 0.0;
    if (++k_ + 1 < bounds_.size()) {
        t0_ = bounds_[k_];
        t1_ = bounds_[k_ + 1];
    }
}

void FormulaCycleAverageNode::Place(const std::vector<double>& bounds, double t, std::size_t& k) {
    const std::size_t last = bounds.size() - 2;
    while (k <= last && (t > bounds[k + 1] || (t == bounds[k + 1] && k < last))) ++k;
}

// The arithmetic is that of CycleLevelOf, FindRisingCrossings and
// FiguresPerCycle over whole columns, sample for sample, so the values agree
// to the bit with the cycle figures of the analysis.
void FormulaCycleAverageNode::Feed(std::int32_t pass, const double* x,
                                   const double* const* operands, std::int32_t first,
                                   std::int32_t n) {
    const double* curve = operands[0];
    const double* reference = operands[1];
    if (pass == 0) {
        for (std::int32_t j = 0; j < n; ++j) {
            if (!std::isfinite(x[j]) || !std::isfinite(reference[j])) continue;
            least_ = std::min(least_, reference[j]);
            greatest_ = std::max(greatest_, reference[j]);
        }
    } else if (pass == 1) {
        if (first == 0) {
            // The extremes are whole: place the level (none without a usable sample).
            backwards_ = !(least_ <= greatest_);
            level_ = least_ + (greatest_ - least_) / 2.0;
            arm_ = level_ - ((greatest_ - least_) / 10.0) / 2.0;
        }
        for (std::int32_t j = 0; j < n && !backwards_; ++j) {
            const double xi = x[j], y = reference[j];
            if (!std::isfinite(xi) || !std::isfinite(y)) continue;
            if (havePrevious_ && xi < px_) {
                backwards_ = true;  // no cycles where X falls back
                break;
            }
            if (armed_ && y >= level_) {
                const double t =
                    std::clamp(px_ + (xi - px_) * ((level_ - py_) / (y - py_)), px_, xi);
                // Two crossings at one instant (repeated time stamps) make no cycle.
                if (std::isfinite(t) && (bounds_.empty() || t > bounds_.back()))
                    bounds_.push_back(t);
                armed_ = false;
            }
            if (y < arm_) armed_ = true;
            px_ = xi;
            py_ = y;
            havePrevious_ = true;
        }
    } else {
        if (first == 0) {
            if (backwards_ || bounds_.size() < 2) bounds_.clear();
            if (bounds_.empty()) return;
            t0_ = bounds_[0];
            t1_ = bounds_[1];
        }
        if (bounds_.empty()) return;
        const std::size_t cycles = bounds_.size() - 1;
        for (std::int32_t j = 0; j < n; ++j) {
            const double xi = x[j], yi = curve[j];
            if (!std::isnan(xi) && placed_ < cycles) {
                const std::size_t was = placed_;
                Place(bounds_, xi, placed_);
                if (placed_ != was) steps_.emplace_back(first + j, placed_);
            }
            if (k_ >= cycles) continue;
            if (!std::isfinite(xi) || !std::isfinite(yi)) {
                if (std::isfinite(xi))
                    while (k_ < cycles && xi >= t1_) FinishCycle();
                haveLast_ = false;  // no trapezoid spans the gap
                continue;
            }
            const auto trapezoid = [this](double dt, double ya, double yb) {
                sum_ += (ya + yb) * dt;
                time_ += dt;
            };
            if (haveLast_ && xl_ >= t0_ && xi < t1_) {
                trapezoid(xi - xl_, yl_, yi);
            } else if (haveLast_) {
                // The segment reaches into the cycle or over one of its ends.
                const auto at = [&](double t) {
                    if (t <= xl_) return yl_;
                    if (t >= xi) return yi;
                    return yl_ + (yi - yl_) * ((t - xl_) / (xi - xl_));
                };
                while (k_ < cycles && xi >= t0_) {
                    const double from = std::max(xl_, t0_);
                    const double to = std::min(xi, t1_);
                    trapezoid(to - from, at(from), at(to));
                    if (xi < t1_) break;
                    FinishCycle();
                }
            } else {
                while (k_ < cycles && xi >= t1_) FinishCycle();
            }
            xl_ = xi;
            yl_ = yi;
            haveLast_ = true;
        }
        if (first + n >= count_)
            while (k_ < cycles) FinishCycle();
    }
}

void FormulaCycleAverageNode::Answer(const double* x, double* out, std::int32_t first,
                                     std::int32_t n) {
    std::fill(out, out + n, NoValue());
    if (averages_.size() < 1 || first >= count_) return;
    // The cycle the sweep over earlier samples left off at.
    const auto after = std::partition_point(steps_.begin(), steps_.end(),
                                            [first](const auto& s) { return s.first < first; });
    std::size_t k = after == steps_.begin() ? 0 : std::prev(after)->second;
    const std::size_t cycles = averages_.size();
    const std::int32_t m = std::min(n, count_ - first);
    for (std::int32_t j = 0; j < m && k < cycles; ++j) {
        const double t = x[j];
        if (std::isnan(t)) continue;
        Place(bounds_, t, k);
        if (k < cycles && t >= bounds_[k]) out[j] = averages_[k];
    }
}

FormulaGroupDelayNode::FormulaGroupDelayNode(FormulaNodeHost* formula, std::int32_t position)
    : FormulaPreparedNode(FormulaNodeKind::GroupDelay, formula, position, 1) {}

void FormulaGroupDelayNode::Begin(std::int32_t count) {
    count_ = std::max(count, 0);
    unwrap_ = {};
    fed_ = keep_ = readyFirst_ = 0;
    ready_.clear();
}

bool FormulaGroupDelayNode::Keep(std::int32_t first) {
    if (first < keep_) return false;
    const auto drop = std::min<std::size_t>(ready_.size(), std::size_t(first - readyFirst_));
    ready_.erase(ready_.begin(), ready_.begin() + static_cast<std::ptrdiff_t>(drop));
    readyFirst_ += static_cast<std::int32_t>(drop);
    keep_ = first;
    return true;
}

// The arithmetic of GroupDelayColumn, sample for sample.
void FormulaGroupDelayNode::Produce(bool right) {
    const std::int32_t i = right ? fed_ - 2 : fed_ - 1;
    if (i < keep_) return;
    if (ready_.empty()) readyFirst_ = i;
    const bool left = i > 0;
    const Sample& a = window_[right ? 0 : 1];  // sample i - 1
    const Sample& b = window_[right ? 1 : 2];  // sample i
    const Sample& c = window_[2];              // sample i + 1 when right
    double value = std::numeric_limits<double>::quiet_NaN();
    const auto delay = [&]() -> bool {
        if (!b.usable || (left && !a.usable) || (right && !c.usable)) return false;
        double slope = 0.0;
        if (left && right) {
            const double h1 = b.f - a.f, h2 = c.f - b.f;
            if (!(h1 > 0.0 && h2 > 0.0)) return false;
            slope = -h2 / (h1 * (h1 + h2)) * a.p + (h2 - h1) / (h1 * h2) * b.p +
                    h1 / (h2 * (h1 + h2)) * c.p;
        } else if (left || right) {
            const Sample& lo = left ? a : b;
            const Sample& hi = left ? b : c;
            const double h = hi.f - lo.f;
            if (!(h > 0.0)) return false;
            slope = (hi.p - lo.p) / h;
        } else {
            return false;
        }
        value = -slope / 360.0;
        return true;
    };
    delay();
    ready_.push_back(value);
}

void FormulaGroupDelayNode::Feed(std::int32_t, const double* x, const double* const* operands,
                                 std::int32_t, std::int32_t n) {
    const double* degrees = operands[0];
    for (std::int32_t j = 0; j < n && fed_ < count_; ++j) {
        const double d = degrees[j];
        Sample s{x[j], d, std::isfinite(d) && std::isfinite(x[j])};
        if (std::isfinite(d)) {
            // Unwrapped as UnwrapPhaseColumn does; a fall of X starts afresh.
            const double v = unwrap_.Next(d, x[j], std::isfinite(x[j]));
            s.p = v;
        }
        window_[0] = window_[1];
        window_[1] = window_[2];
        window_[2] = s;
        ++fed_;
        if (fed_ >= 2) Produce(true);
        if (fed_ == count_) Produce(false);
    }
}

void FormulaGroupDelayNode::Answer(const double*, double* out, std::int32_t first, std::int32_t n) {
    for (std::int32_t j = 0; j < n; ++j) {
        const auto at = static_cast<std::size_t>(first + j - readyFirst_);
        out[j] = first + j < count_ && first + j >= readyFirst_ && at < ready_.size() ? ready_[at]
                                                                                      : NoValue();
    }
}

}  // namespace kurvex
