#include "formula/FormulaNode.h"

#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "data/PhaseColumns.h"
#include "formula/CycleMath.h"
#include "formula/Formula.h"

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

FormulaVariableNode::FormulaVariableNode(std::string name, std::int32_t column, CFormula* formula,
                                         std::int32_t position)
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

FormulaRunningNode::FormulaRunningNode(FormulaNodeKind kind, CFormula* formula,
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

FormulaPreparedNode::FormulaPreparedNode(FormulaNodeKind kind, CFormula* formula,
                                         std::int32_t position, std::int32_t operandCount)
    : CFormulaNode(kind, position, operandCount), formula_(formula) {}

bool IsPreparedKind(FormulaNodeKind kind) {
    return kind == FormulaNodeKind::CycleAverage || kind == FormulaNodeKind::GroupDelay;
}

double FormulaPreparedNode::Apply(const double*) {
    const auto i = static_cast<std::size_t>(formula_->CurrentSample());
    return i < values_.size() ? values_[i] : NoValue();
}

void FormulaPreparedNode::ApplyBlock(const double* const*, double* out, std::int32_t n,
                                     std::int32_t first) {
    for (std::int32_t j = 0; j < n; ++j) {
        const auto i = static_cast<std::size_t>(first + j);
        out[j] = i < values_.size() ? values_[i] : NoValue();
    }
}

FormulaCycleAverageNode::FormulaCycleAverageNode(CFormula* formula, std::int32_t position)
    : FormulaPreparedNode(FormulaNodeKind::CycleAverage, formula, position, 2) {}

void FormulaCycleAverageNode::Prepare(const double* x, const double* const* operands,
                                      std::int32_t count) {
    const double* curve = operands[0];
    const double* reference = operands[1];
    values_.assign(static_cast<std::size_t>(std::max(count, 0)), NoValue());
    const CycleTrace ref{x, nullptr, reference, nullptr, 0, count - 1};
    const auto level = CycleLevelOf(ref);
    if (!level) return;
    const RisingCrossings crossings = FindRisingCrossings(ref, *level);
    if (crossings.times.size() < 2) return;
    const CycleTrace trace{x, nullptr, curve, nullptr, 0, count - 1};
    const std::vector<CycleFigures> cycles = FiguresPerCycle(trace, crossings.times);
    // X rises (the crossings were found), so one sweep places every sample;
    // the last cycle keeps its closing instant.
    std::size_t k = 0;
    const std::size_t last = cycles.size() - 1;
    for (std::int32_t i = 0; i < count; ++i) {
        const double t = x[i];
        if (std::isnan(t)) continue;
        while (k <= last && (t > cycles[k].end || (t == cycles[k].end && k < last))) ++k;
        if (k > last) break;
        if (t >= cycles[k].start) values_[static_cast<std::size_t>(i)] = cycles[k].avg;
    }
}

FormulaGroupDelayNode::FormulaGroupDelayNode(CFormula* formula, std::int32_t position)
    : FormulaPreparedNode(FormulaNodeKind::GroupDelay, formula, position, 1) {}

void FormulaGroupDelayNode::Prepare(const double* x, const double* const* operands,
                                    std::int32_t count) {
    const auto n = static_cast<std::size_t>(std::max(count, 0));
    const auto flagsOf = [n](const double* v) {
        std::vector<std::uint8_t> flags(n);
        for (std::size_t i = 0; i < n; ++i)
            flags[i] = std::isfinite(v[i]) ? kPointValid : kPointInvalid;
        return flags;
    };
    const std::vector<std::uint8_t> xFlags = flagsOf(x), phaseFlags = flagsOf(operands[0]);
    values_.assign(n, 0.0);
    std::vector<std::uint8_t> flags(n);
    GroupDelayColumn(x, xFlags.data(), operands[0], phaseFlags.data(), values_.data(), flags.data(),
                     count);
    for (std::size_t i = 0; i < n; ++i)
        if (flags[i] != kPointValid) values_[i] = std::numeric_limits<double>::quiet_NaN();
}

}  // namespace kurvex
