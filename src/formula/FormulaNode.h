#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data/model/PhaseColumns.h"

namespace kurvex {

// What a node reads of the formula it belongs to. The formula implements it;
// the nodes see only this, so that they need not know the formula.
class FormulaNodeHost {
public:
    // The sample being (or last) evaluated.
    virtual std::int32_t CurrentSample() const = 0;
    // The X step of AVG, INT and HIPASS.
    virtual double TimeStep() const = 0;
    // The value source's value of `column` at `sample` in the current context.
    virtual double SourceValue(std::int32_t column, std::int32_t sample) const = 0;

protected:
    ~FormulaNodeHost() = default;
};

// What a node of a compiled formula does.
enum class FormulaNodeKind : std::int32_t {
    OpenParenthesis,
    Number,
    Variable,
    Add,
    Subtract,
    Negate,
    Multiply,
    Divide,
    Power,
    Sqrt,
    Sin,
    Cos,
    Tan,
    Atan,
    Exp,
    Log,
    Log10,
    Abs,
    Sign,
    Average,
    Integral,
    HighPass,
    List,
    CycleAverage,
    GroupDelay,
};

// One node of a formula tree. A node owns its operands; the tree is torn down
// without recursion, so a formula nested thousands deep cannot exhaust the stack.
class CFormulaNode {
public:
    CFormulaNode(FormulaNodeKind kind, std::int32_t position, std::int32_t operandCount);
    virtual ~CFormulaNode();
    CFormulaNode(const CFormulaNode&) = delete;
    CFormulaNode& operator=(const CFormulaNode&) = delete;

    // What the node does.
    FormulaNodeKind Kind() const { return kind_; }
    // Index of the node's first character in the trimmed, upper-cased text.
    std::int32_t Position() const { return position_; }
    // How tightly the node binds an operand; the higher, the tighter.
    std::int32_t Precedence() const;
    // Operands the node takes from the postfix sequence.
    std::int32_t OperandCount() const { return static_cast<std::int32_t>(operands_.size()); }
    // Operand k, or null while the tree is being built.
    CFormulaNode* Operand(std::int32_t k) const { return operands_[static_cast<size_t>(k)].get(); }
    // Makes `node` operand k, deleting the one it replaces.
    void SetOperand(std::int32_t k, std::unique_ptr<CFormulaNode> node);
    // True for numbers and variables.
    bool IsLeaf() const {
        return kind_ == FormulaNodeKind::Number || kind_ == FormulaNodeKind::Variable;
    }
    // True for "(", which lives only on the compiler's operator stack.
    bool IsOpenParenthesis() const { return kind_ == FormulaNodeKind::OpenParenthesis; }
    // True for operators, functions and lists.
    bool HasOperands() const { return !operands_.empty(); }

    // The node's value for one sample from its operands' values.
    virtual double Apply(const double* operands);
    // Apply for samples first .. first + count - 1: operands[k][j] is operand k
    // of sample first + j. Gives exactly what Apply gives sample by sample.
    virtual void ApplyBlock(const double* const* operands, double* out, std::int32_t count,
                            std::int32_t first);
    // Sets running sums and filter states back to zero.
    virtual void ResetRunning() {}

private:
    FormulaNodeKind kind_;
    std::int32_t position_;
    std::vector<std::unique_ptr<CFormulaNode>> operands_;
};

// A number literal.
class FormulaNumberNode : public CFormulaNode {
public:
    FormulaNumberNode(double value, std::int32_t position)
        : FormulaNumberNode(FormulaNodeKind::Number, value, position) {}
    // The literal, or for a variable the value of the sample last read.
    double Value() const { return value_; }
    // The literal.
    double Apply(const double*) override { return value_; }

protected:
    FormulaNumberNode(FormulaNodeKind kind, double value, std::int32_t position)
        : CFormulaNode(kind, position, 0), value_(value) {}
    double value_;
};

// A column of the data set, read through the formula's value source.
class FormulaVariableNode : public FormulaNumberNode {
public:
    FormulaVariableNode(std::string name, std::int32_t column, FormulaNodeHost* formula,
                        std::int32_t position);
    // The column name as matched (upper case).
    const std::string& Name() const { return name_; }
    // The column's index in the data set.
    std::int32_t Column() const { return column_; }
    // Fetches the column's value at the formula's current sample.
    double Apply(const double*) override;
    // Keeps the value last read, as Apply does.
    void SetValue(double v) { value_ = v; }

private:
    std::string name_;
    std::int32_t column_;
    FormulaNodeHost* formula_;
};

// The operators and the stateless functions.
class FormulaOperatorNode : public CFormulaNode {
public:
    FormulaOperatorNode(FormulaNodeKind kind, std::int32_t position);
    // The operator or function of one or two values.
    double Apply(const double* operands) override;
    // One tight loop per kind.
    void ApplyBlock(const double* const* operands, double* out, std::int32_t count,
                    std::int32_t first) override;
};

// AVG, INT and HIPASS: they carry state from one sample to the next and use
// the formula's time step.
class FormulaRunningNode : public CFormulaNode {
public:
    FormulaRunningNode(FormulaNodeKind kind, FormulaNodeHost* formula, std::int32_t position);
    // Advances by one sample: the formula's current one.
    double Apply(const double* operands) override;
    // Advances by `count` samples; `first` must follow the previous call's last.
    void ApplyBlock(const double* const* operands, double* out, std::int32_t count,
                    std::int32_t first) override;
    // Zeroes the running sum and the filter state.
    void ResetRunning() override;

private:
    FormulaNodeHost* formula_;
    double sum_ = 0.0;  // AVG and INT
    double v_ = 0.0;    // HIPASS: node voltage, capacitor and inductor currents
    double iC_ = 0.0;
    double iL_ = 0.0;
};

// A sample a function has no value for (CYCAVG outside whole cycles): a quiet NaN
// whose payload marks it, so that the sample is flagged missing, not invalid, and
// neither warns nor stops a spectrum. Arithmetic on it keeps the payload.
double NoValue();
// True for exactly the bits of NoValue().
bool IsNoValue(double v);

// A function whose value at a sample depends on other samples: the formula
// streams X and the operands' values to it block by block, in order from
// sample 0, so that it keeps running state, never whole columns.
class FormulaPreparedNode : public CFormulaNode {
public:
    FormulaPreparedNode(FormulaNodeKind kind, FormulaNodeHost* formula, std::int32_t position,
                        std::int32_t operandCount);
    // NoValue: the formula answers through Answer, which needs X.
    double Apply(const double* operands) override;
    // NoValue for every sample, as Apply.
    void ApplyBlock(const double* const* operands, double* out, std::int32_t count,
                    std::int32_t first) override;
    // Passes over samples 0 .. count - 1 needed before Answer.
    virtual std::int32_t Passes() const = 0;
    // Forgets what was fed and starts over for samples 0 .. count - 1.
    virtual void Begin(std::int32_t count) = 0;
    // Samples first .. first + n - 1 in pass `pass` (0 when answering):
    // x[j] and operands[k][j]. Each pass feeds the samples once, in order.
    virtual void Feed(std::int32_t pass, const double* x, const double* const* operands,
                      std::int32_t first, std::int32_t n) = 0;
    // The values of samples first .. first + n - 1 (NoValue from `count` on),
    // with x[j] the X of sample first + j.
    virtual void Answer(const double* x, double* out, std::int32_t first, std::int32_t n) = 0;

protected:
    FormulaNodeHost* formula_;
    std::int32_t count_ = 0;
};

// True for the kinds FormulaPreparedNode implements.
bool IsPreparedKind(FormulaNodeKind kind);

// CYCAVG(curve, reference): the curve's time average over each cycle of the
// reference, held as a step over the cycle (kNoValue outside whole cycles).
// Three passes: the reference's extremes, its rising crossings at the
// midpoint of the extremes with a tenth of their span as hysteresis, then
// each cycle's trapezoidal integral; what remains is a record per cycle.
class FormulaCycleAverageNode : public FormulaPreparedNode {
public:
    FormulaCycleAverageNode(FormulaNodeHost* formula, std::int32_t position);
    std::int32_t Passes() const override { return 3; }
    void Begin(std::int32_t count) override;
    void Feed(std::int32_t pass, const double* x, const double* const* operands, std::int32_t first,
              std::int32_t n) override;
    void Answer(const double* x, double* out, std::int32_t first, std::int32_t n) override;

private:
    // Ends cycle k of the walk with the sums gathered.
    void FinishCycle();
    // Moves the cycle a sample at X `t` belongs to on, as Answer does.
    static void Place(const std::vector<double>& bounds, double t, std::size_t& k);

    // Pass 0: the reference's extremes.
    double least_ = 0.0, greatest_ = 0.0;
    // Pass 1: rising crossings of level_ after a visit below arm_.
    double level_ = 0.0, arm_ = 0.0;
    bool armed_ = false, havePrevious_ = false, backwards_ = false;
    double px_ = 0.0, py_ = 0.0;
    std::vector<double> bounds_;  // crossing times: cycle k runs from bounds_[k] to bounds_[k + 1]
    // Pass 2: the trapezoidal sums of cycle k of the curve.
    std::size_t k_ = 0;
    double t0_ = 0.0, t1_ = 0.0, sum_ = 0.0, time_ = 0.0;
    bool haveLast_ = false;
    double xl_ = 0.0, yl_ = 0.0;
    std::vector<double> averages_;
    // The cycle Answer's sweep holds from a row on: (row, cycle), rows rising.
    std::vector<std::pair<std::int32_t, std::size_t>> steps_;
    std::size_t placed_ = 0;
};

// GD(phase): the group delay in seconds of a phase in degrees over X as the
// frequency in Hz; invalid where the frequency does not rise. The phase is
// unwrapped as it streams past; a sample's value is ready once the sample
// after it has been fed.
class FormulaGroupDelayNode : public FormulaPreparedNode {
public:
    FormulaGroupDelayNode(FormulaNodeHost* formula, std::int32_t position);
    std::int32_t Passes() const override { return 0; }
    void Begin(std::int32_t count) override;
    void Feed(std::int32_t pass, const double* x, const double* const* operands, std::int32_t first,
              std::int32_t n) override;
    void Answer(const double* x, double* out, std::int32_t first, std::int32_t n) override;
    // Samples fed since Begin.
    std::int32_t Fed() const { return fed_; }
    // Drops the values of samples before `first`; false when some of them
    // were dropped already, so that the stream must begin again.
    bool Keep(std::int32_t first);

private:
    struct Sample {
        double f = 0.0;
        double p = 0.0;  // unwrapped
        bool usable = false;
    };
    // The value of the middle sample of the window (right: the one after it exists).
    void Produce(bool right);

    PhaseUnwrapper unwrap_;
    Sample window_[3];  // samples fed_ - 3 .. fed_ - 1
    std::int32_t fed_ = 0;
    std::int32_t keep_ = 0;
    std::int32_t readyFirst_ = 0;
    std::vector<double> ready_;  // values of samples readyFirst_ on
};

// The value of x^y as the formula engine defines it: an exact square for y = 2
// (as the compiler makes of pow(x, 2.0)), the library's pow otherwise.
double FormulaPower(double x, double y);
// x / y, with 0/0 = 0 and x/0 = +1e308 so a division by zero still draws.
double FormulaDivide(double x, double y);

}  // namespace kurvex
