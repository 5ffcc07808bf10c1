#include "formula/Formula.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <unordered_set>

#include "data/platform/NameText.h"
#include "data/platform/NumberText.h"

namespace kurvex {

namespace {

// Scratch for one evaluation, in bytes; a block holds fewer samples when a
// deep formula needs many slots, so the scratch never grows with nesting.
constexpr size_t kScratchBytes = size_t{1} << 21;
constexpr std::int32_t kMaxBlock = 1024;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Names and formulas are compared as text: both are decoded first, so that a
// formula typed in UTF-8 finds a column named in Windows-1252.
std::string TrimUpper(const std::string& bytes) {
    const std::string s = DisplayName(bytes);
    size_t b = 0;
    size_t e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    std::string out = s.substr(b, e - b);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

// A name or function matches only when followed by the end, an operator, a
// parenthesis, one of , > < = ! . or a digit.
bool EndsWord(const std::string& t, size_t k) {
    if (k >= t.size()) return true;
    const char c = t[k];
    return IsDigit(c) || std::strchr("(),+-*/^><=!.", c) != nullptr;
}

bool MatchesWord(const std::string& t, size_t pos, const std::string& word) {
    return t.compare(pos, word.size(), word) == 0 && EndsWord(t, pos + word.size());
}

bool StartsNumber(const std::string& t, size_t pos) {
    const char c = t[pos];
    const bool nextDigit = pos + 1 < t.size() && IsDigit(t[pos + 1]);
    if (IsDigit(c)) return true;
    if (c == '.') return nextDigit;
    if (c == '+' || c == '-') return nextDigit && (pos == 0 || t[pos - 1] == '(');
    return false;
}

// One past the literal starting at pos: sign, digits, "." and digits, and an
// exponent only when E or D is followed by a sign or a digit.
size_t ScanNumber(const std::string& t, size_t pos) {
    size_t i = pos;
    const size_t n = t.size();
    if (t[i] == '+' || t[i] == '-') ++i;
    while (i < n && IsDigit(t[i])) ++i;
    if (i < n && t[i] == '.') {
        ++i;
        while (i < n && IsDigit(t[i])) ++i;
    }
    if (i + 1 < n && (t[i] == 'E' || t[i] == 'D') &&
        (t[i + 1] == '+' || t[i + 1] == '-' || IsDigit(t[i + 1]))) {
        i += 2;
        while (i < n && IsDigit(t[i])) ++i;
    }
    return i;
}

struct FunctionName {
    const char* text;
    FormulaNodeKind kind;
};

// Tried in this order: LOG10 before LOG.
constexpr std::array<FunctionName, 15> kFunctions = {{
    {"SQRT", FormulaNodeKind::Sqrt},
    {"SIN", FormulaNodeKind::Sin},
    {"COS", FormulaNodeKind::Cos},
    {"TAN", FormulaNodeKind::Tan},
    {"ATAN", FormulaNodeKind::Atan},
    {"EXP", FormulaNodeKind::Exp},
    {"LOG10", FormulaNodeKind::Log10},
    {"LOG", FormulaNodeKind::Log},
    {"ABS", FormulaNodeKind::Abs},
    {"SIGN", FormulaNodeKind::Sign},
    {"AVG", FormulaNodeKind::Average},
    {"INT", FormulaNodeKind::Integral},
    {"HIPASS", FormulaNodeKind::HighPass},
    {"CYCAVG", FormulaNodeKind::CycleAverage},
    {"GD", FormulaNodeKind::GroupDelay},
}};

std::unique_ptr<CFormulaNode> MakeFunction(FormulaNodeKind kind, CFormula* formula,
                                           std::int32_t position) {
    if (kind == FormulaNodeKind::CycleAverage)
        return std::make_unique<FormulaCycleAverageNode>(formula, position);
    if (kind == FormulaNodeKind::GroupDelay)
        return std::make_unique<FormulaGroupDelayNode>(formula, position);
    if (kind == FormulaNodeKind::Average || kind == FormulaNodeKind::Integral ||
        kind == FormulaNodeKind::HighPass)
        return std::make_unique<FormulaRunningNode>(kind, formula, position);
    return std::make_unique<FormulaOperatorNode>(kind, position);
}

// The operator or function at pos and its length, or null.
std::unique_ptr<CFormulaNode> ReadOperator(const std::string& t, size_t pos, CFormula* formula,
                                           size_t& length) {
    const auto p = static_cast<std::int32_t>(pos);
    length = 1;
    switch (t[pos]) {
        case '+':
            return std::make_unique<FormulaOperatorNode>(FormulaNodeKind::Add, p);
        case '-': {
            const bool sign = pos == 0 || t[pos - 1] == '(';
            return std::make_unique<FormulaOperatorNode>(
                sign ? FormulaNodeKind::Negate : FormulaNodeKind::Subtract, p);
        }
        case '*':
            return std::make_unique<FormulaOperatorNode>(FormulaNodeKind::Multiply, p);
        case '/':
            return std::make_unique<FormulaOperatorNode>(FormulaNodeKind::Divide, p);
        case '^':
            return std::make_unique<FormulaOperatorNode>(FormulaNodeKind::Power, p);
        default:
            break;
    }
    for (const FunctionName& f : kFunctions) {
        const std::string word = f.text;
        if (MatchesWord(t, pos, word)) {
            length = word.size();
            return MakeFunction(f.kind, formula, p);
        }
    }
    return nullptr;
}

// Column names, upper-cased, longest first (equal lengths in column order) and
// bucketed by first character so a wide data set does not slow each token.
// Names that only other runs have come after, with column -1: they match only
// where a run follows them. Constants' names no column has come last, as
// kConstantColumn - k for constant k.
constexpr std::int32_t kConstantColumn = -2;

class NameTable {
public:
    NameTable(const std::vector<std::string>& names, const std::vector<FormulaRun>* runs,
              std::int32_t own, const std::vector<ResultConstant>* constants) {
        std::vector<std::pair<std::string, std::int32_t>> sorted;
        for (size_t i = 0; i < names.size(); ++i) {
            std::string n = TrimUpper(names[i]);
            // An empty name would match everywhere without moving on.
            if (!n.empty()) sorted.emplace_back(std::move(n), static_cast<std::int32_t>(i));
        }
        std::unordered_set<std::string> known;
        if ((runs && runs->size() > 1) || (constants && !constants->empty()))
            for (const auto& entry : sorted) known.insert(entry.first);
        if (runs && runs->size() > 1) {
            for (size_t k = 0; k < runs->size(); ++k) {
                if (static_cast<std::int32_t>(k) == own) continue;
                for (const std::string& name : (*runs)[k].variables) {
                    std::string n = TrimUpper(name);
                    if (!n.empty() && known.insert(n).second) sorted.emplace_back(std::move(n), -1);
                }
            }
        }
        for (size_t k = 0; constants && k < constants->size(); ++k) {
            std::string n = TrimUpper((*constants)[k].name);
            if (!n.empty() && known.insert(n).second)
                sorted.emplace_back(std::move(n), kConstantColumn - static_cast<std::int32_t>(k));
        }
        std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
            return a.first.size() > b.first.size();
        });
        for (auto& entry : sorted) {
            buckets_[static_cast<unsigned char>(entry.first[0])].push_back(std::move(entry));
        }
    }

    // The longest name at pos that ends a word or is followed by "@", or null.
    const std::pair<std::string, std::int32_t>* Match(const std::string& t, size_t pos) const {
        for (const auto& entry : buckets_[static_cast<unsigned char>(t[pos])]) {
            if (t.compare(pos, entry.first.size(), entry.first) != 0) continue;
            const size_t end = pos + entry.first.size();
            if ((end < t.size() && t[end] == '@') || (entry.second != -1 && EndsWord(t, end)))
                return &entry;
        }
        return nullptr;
    }

private:
    std::array<std::vector<std::pair<std::string, std::int32_t>>, 256> buckets_;
};

// The run named after the "@" at t[at], from 0, and in `end` one past its
// number or quoted name; -1 when no run is named there or none has that name.
std::int32_t ReadRun(const std::string& t, size_t at, const std::vector<FormulaRun>* runs,
                     size_t& end) {
    const size_t count = runs ? runs->size() : 1;
    size_t i = at + 1;
    if (i < t.size() && IsDigit(t[i])) {
        // Every digit is read, but a number past any run count stops growing.
        std::int64_t k = 0;
        for (; i < t.size() && IsDigit(t[i]); ++i) {
            if (k <= std::numeric_limits<std::int32_t>::max()) k = k * 10 + (t[i] - '0');
        }
        end = i;
        return k >= 1 && k <= static_cast<std::int64_t>(count) ? static_cast<std::int32_t>(k - 1)
                                                               : -1;
    }
    if (i >= t.size() || t[i] != '"') return -1;
    const size_t close = t.find('"', i + 1);
    if (close == std::string::npos) return -1;
    end = close + 1;
    // The text is upper-cased already; run names are compared the same way.
    const std::string wanted = TrimUpper(t.substr(i + 1, close - i - 1));
    for (size_t k = 0; runs && k < count && !wanted.empty(); ++k) {
        if (TrimUpper((*runs)[k].name) == wanted) return static_cast<std::int32_t>(k);
    }
    return -1;
}

bool IsFiniteNormalOrZero(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    const std::uint64_t exponent = (bits >> 52) & 0x7FF;
    return (exponent != 0 && exponent != 0x7FF) || (bits << 1) == 0;
}

}  // namespace

CFormula::~CFormula() = default;

void CFormula::ClearCompiled() {
    postfix_.clear();
    variables_.clear();
    runReferences_.clear();
    plainNames_ = 0;
    program_.clear();
    stages_.clear();
    prepared_ = 0;
    root_.reset();
    stackDepth_ = 0;
    constants_ = 0;
    blockSize_ = 0;
    scratch_.clear();
    scratch_.shrink_to_fit();
    slotData_.clear();
    currentSample_ = 0;
    error_ = FormulaError{};
}

void CFormula::Clear() {
    ClearCompiled();
    timeStep_ = 0.0;
    context_ = nullptr;
    sampleCount_ = 0;
}

bool CFormula::Fail(std::int32_t position, const char* message) {
    ClearCompiled();
    error_.position = position;
    error_.message = message;
    return false;
}

bool CFormula::Compile(const std::string& text, const std::vector<std::string>& names,
                       const std::vector<ResultConstant>& constants) {
    return CompileWith(text, names, nullptr, 0, &constants);
}

bool CFormula::CompileOverRuns(const std::string& text, const std::vector<FormulaRun>& runs,
                               std::int32_t own) {
    static const std::vector<std::string> none;
    if (own < 0 || static_cast<size_t>(own) >= runs.size()) own = 0;
    return CompileWith(text, runs.empty() ? none : runs[static_cast<size_t>(own)].variables, &runs,
                       own);
}

// One pass of the shunting-yard over the tokens of a formula's text: the
// postfix output, the operator stack and the open parentheses.
class CFormula::Compiler {
public:
    Compiler(CFormula& formula, const std::string& t, const std::vector<std::string>& names,
             const std::vector<FormulaRun>* runs, std::int32_t own,
             const std::vector<ResultConstant>* constants)
        : formula_(formula),
          t_(t),
          names_(names),
          runs_(runs),
          own_(own),
          constants_(constants),
          table_(names, runs, own, constants),
          runColumns_(runs ? runs->size() : 0) {}

    // The postfix output into `output`; false when the formula failed.
    bool Run(std::vector<std::unique_ptr<CFormulaNode>>& output) {
        while (pos_ < t_.size()) {
            if (!Token()) return false;
        }
        if (awaitingArguments_ >= 0) return formula_.Fail(awaitingArguments_, kFormulaInvalid);
        while (!operators_.empty()) {
            if (operators_.back()->IsOpenParenthesis())
                return formula_.Fail(0, kFormulaUnmatchedOpen);
            output_.push_back(std::move(operators_.back()));
            operators_.pop_back();
        }
        output = std::move(output_);
        return true;
    }

private:
    // One entry per open parenthesis. Those that hold a CYCAVG's two arguments
    // check that each argument leaves exactly one value, so the function takes
    // its own arguments and nothing written beside them.
    struct Parenthesis {
        bool arguments = false;
        bool comma = false;
        std::int32_t values = 0;    // values the current argument leaves so far
        std::int32_t function = 0;  // position of the CYCAVG
    };

    // The token at pos_, moving past it.
    bool Token() {
        const auto p = static_cast<std::int32_t>(pos_);
        const char c = t_[pos_];
        if (awaitingArguments_ >= 0 && c != '(')
            return formula_.Fail(awaitingArguments_, kFormulaInvalid);
        if (c == '(') return OpenParenthesis(p);
        if (c == ')') return CloseParenthesis(p);
        if (c == ',') return Comma(p);
        if (StartsNumber(t_, pos_)) return Number(p);
        if (const auto* name = table_.Match(t_, pos_)) {
            if (name->second <= kConstantColumn) return Constant(*name, p);
            return Variable(*name, p);
        }
        return Operator(p);
    }

    bool OpenParenthesis(std::int32_t p) {
        Parenthesis paren;
        if (awaitingArguments_ >= 0) {
            paren.arguments = true;
            paren.function = awaitingArguments_;
            awaitingArguments_ = -1;
        }
        parens_.push_back(paren);
        operators_.push_back(
            std::make_unique<CFormulaNode>(FormulaNodeKind::OpenParenthesis, p, 0));
        ++pos_;
        return true;
    }

    bool CloseParenthesis(std::int32_t p) {
        if (!PopToParenthesis()) return false;
        if (operators_.empty()) return formula_.Fail(p, kFormulaUnmatchedClosing);
        operators_.pop_back();
        const Parenthesis paren = parens_.back();
        parens_.pop_back();
        if (paren.arguments) {
            if (!paren.comma || paren.values != 1)
                return formula_.Fail(paren.function, kFormulaInvalid);
            // The function is complete: out at once, before anything written after it.
            std::unique_ptr<CFormulaNode> function = std::move(operators_.back());
            operators_.pop_back();
            if (!Emit(std::move(function))) return false;
        }
        ++pos_;
        return true;
    }

    bool Comma(std::int32_t p) {
        if (parens_.empty() || !parens_.back().arguments || parens_.back().comma)
            return formula_.Fail(p, kFormulaInvalidEntry);
        if (!PopToParenthesis()) return false;
        if (parens_.back().values != 1)
            return formula_.Fail(parens_.back().function, kFormulaInvalid);
        parens_.back().comma = true;
        parens_.back().values = 0;
        ++pos_;
        return true;
    }

    bool Number(std::int32_t p) {
        // Read in full whatever its length, so no digit is silently dropped.
        const size_t end = ScanNumber(t_, pos_);
        if (!Emit(std::make_unique<FormulaNumberNode>(ParseDecimal(&t_[pos_], t_.data() + end), p)))
            return false;
        pos_ = end;
        return true;
    }

    // A constant reads as its value written out; no run may follow it.
    bool Constant(const std::pair<std::string, std::int32_t>& name, std::int32_t p) {
        const size_t end = pos_ + name.first.size();
        if (!EndsWord(t_, end))
            return formula_.Fail(static_cast<std::int32_t>(end), kFormulaInvalidEntry);
        const double value =
            (*constants_)[static_cast<size_t>(kConstantColumn - name.second)].value;
        if (!Emit(std::make_unique<FormulaNumberNode>(value, p))) return false;
        pos_ = end;
        return true;
    }

    bool Variable(const std::pair<std::string, std::int32_t>& name, std::int32_t p) {
        size_t end = pos_ + name.first.size();
        std::int32_t column = name.second;
        if (end < t_.size() && t_[end] == '@') {
            const auto at = static_cast<std::int32_t>(end);
            const std::int32_t run = ReadRun(t_, end, runs_, end);
            if (run < 0 || !EndsWord(t_, end)) return formula_.Fail(at, kFormulaInvalidEntry);
            if (run != own_) column = ColumnInRun(run, name.first);
            if (column < 0) return formula_.Fail(p, kFormulaInvalidEntry);
            if (run != own_) column = RunReference(run, column, at);
        } else {
            ++formula_.plainNames_;
        }
        auto node = std::make_unique<FormulaVariableNode>(name.first, column, &formula_, p);
        formula_.variables_.push_back(node.get());
        if (!Emit(std::move(node))) return false;
        pos_ = end;
        return true;
    }

    bool Operator(std::int32_t p) {
        size_t length = 0;
        std::unique_ptr<CFormulaNode> op = ReadOperator(t_, pos_, &formula_, length);
        if (!op) return formula_.Fail(p, kFormulaInvalidEntry);
        while (!operators_.empty() && !operators_.back()->IsOpenParenthesis() &&
               op->Precedence() <= operators_.back()->Precedence()) {
            std::unique_ptr<CFormulaNode> node = std::move(operators_.back());
            operators_.pop_back();
            if (!Emit(std::move(node))) return false;
        }
        if (op->Kind() == FormulaNodeKind::CycleAverage) awaitingArguments_ = p;
        operators_.push_back(std::move(op));
        pos_ += length;
        return true;
    }

    bool Emit(std::unique_ptr<CFormulaNode> node) {
        for (auto it = parens_.rbegin(); it != parens_.rend(); ++it) {
            if (!it->arguments) continue;
            // A CYCAVG's own arguments were counted inside its parentheses.
            const std::int32_t takes =
                node->Kind() == FormulaNodeKind::CycleAverage ? 0 : node->OperandCount();
            if (it->values < takes) return formula_.Fail(node->Position(), kFormulaInvalid);
            it->values += 1 - takes;
            break;
        }
        output_.push_back(std::move(node));
        return true;
    }

    // Moves operators to the output down to the innermost "(" (left in place).
    bool PopToParenthesis() {
        while (!operators_.empty() && !operators_.back()->IsOpenParenthesis()) {
            std::unique_ptr<CFormulaNode> node = std::move(operators_.back());
            operators_.pop_back();
            if (!Emit(std::move(node))) return false;
        }
        return true;
    }

    // The column of upper-cased `name` in another run, or -1; a run's names are
    // gathered when it is first named.
    std::int32_t ColumnInRun(std::int32_t run, const std::string& name) {
        auto& columns = runColumns_[static_cast<size_t>(run)];
        if (columns.empty()) {
            const std::vector<std::string>& variables =
                (*runs_)[static_cast<size_t>(run)].variables;
            for (size_t i = 0; i < variables.size(); ++i)
                columns.emplace(TrimUpper(variables[i]), static_cast<std::int32_t>(i));
        }
        const auto it = columns.find(name);
        return it == columns.end() ? -1 : it->second;
    }

    // Another run's variable reads as a column after the own run's.
    std::int32_t RunReference(std::int32_t run, std::int32_t column, std::int32_t at) {
        std::vector<FormulaRunReference>& references = formula_.runReferences_;
        const auto same = [&](const FormulaRunReference& r) {
            return r.run == run && r.column == column;
        };
        auto it = std::find_if(references.begin(), references.end(), same);
        if (it == references.end())
            it = references.insert(it, FormulaRunReference{run, column, at});
        return static_cast<std::int32_t>(names_.size() +
                                         static_cast<size_t>(it - references.begin()));
    }

    CFormula& formula_;
    const std::string& t_;
    const std::vector<std::string>& names_;
    const std::vector<FormulaRun>* runs_;
    std::int32_t own_;
    const std::vector<ResultConstant>* constants_;
    const NameTable table_;
    // Upper-cased names to columns of the other runs, made for a run when first named.
    std::vector<std::unordered_map<std::string, std::int32_t>> runColumns_;
    std::vector<std::unique_ptr<CFormulaNode>> output_;
    std::vector<std::unique_ptr<CFormulaNode>> operators_;
    std::vector<Parenthesis> parens_;
    std::int32_t awaitingArguments_ = -1;  // position of a CYCAVG not yet followed by "("
    size_t pos_ = 0;
};

bool CFormula::CompileWith(const std::string& text, const std::vector<std::string>& names,
                           const std::vector<FormulaRun>* runs, std::int32_t own,
                           const std::vector<ResultConstant>* constants) {
    ClearCompiled();
    const std::string t = TrimUpper(text);
    // Positions are 32-bit.
    if (t.size() > static_cast<size_t>(std::numeric_limits<std::int32_t>::max()))
        return Fail(0, kFormulaInvalid);
    if (runs && runs->empty()) runs = nullptr;
    if (!runs) own = 0;
    std::vector<std::unique_ptr<CFormulaNode>> output;
    if (!Compiler(*this, t, names, runs, own, constants).Run(output)) return false;
    return Assemble(std::move(output));
}

bool CFormula::Assemble(std::vector<std::unique_ptr<CFormulaNode>> output) {
    postfix_.reserve(output.size());
    program_.reserve(output.size());
    std::vector<std::unique_ptr<CFormulaNode>> stack;
    std::vector<std::int32_t> begins;  // where each stacked item's subtree begins
    std::int32_t depth = 0;
    std::int32_t constants = 0;
    bool cycles = false;
    for (auto& item : output) {
        CFormulaNode* node = item.get();
        const auto index = static_cast<std::int32_t>(postfix_.size());
        postfix_.push_back(node);
        Step step{node, 0, -1, false, index};
        if (node->IsLeaf() || !node->HasOperands()) {
            step.slot = static_cast<std::int32_t>(stack.size());
            if (node->Kind() == FormulaNodeKind::Number) step.constant = constants++;
            stack.push_back(std::move(item));
            begins.push_back(index);
        } else {
            const auto n = static_cast<size_t>(node->OperandCount());
            if (stack.size() < n) {
                const std::int32_t at = node->Position();
                return Fail(at, kFormulaInvalid);
            }
            const size_t base = stack.size() - n;
            for (size_t k = 0; k < n; ++k) {
                node->SetOperand(static_cast<std::int32_t>(k), std::move(stack[base + k]));
            }
            stack.resize(base);
            step.begin = begins[base];
            begins.resize(base);
            begins.push_back(step.begin);
            step.slot = static_cast<std::int32_t>(base);
            cycles |= IsPreparedKind(node->Kind());
            const CFormulaNode* exponent =
                node->Kind() == FormulaNodeKind::Power ? node->Operand(1) : nullptr;
            step.square = exponent && exponent->Kind() == FormulaNodeKind::Number &&
                          static_cast<const FormulaNumberNode*>(exponent)->Value() == 2.0;
            stack.push_back(std::move(item));
        }
        program_.push_back(step);
        depth = std::max(depth, static_cast<std::int32_t>(stack.size()));
    }
    if (stack.empty()) return Fail(0, kFormulaInvalid);
    if (stack.size() == 1) {
        root_ = std::move(stack[0]);
    } else {
        // Operands side by side with no operator: the first one is the value.
        const std::int32_t position = stack[0]->Position();
        root_ = std::make_unique<CFormulaNode>(FormulaNodeKind::List, position,
                                               static_cast<std::int32_t>(stack.size()));
        for (size_t k = 0; k < stack.size(); ++k) {
            root_->SetOperand(static_cast<std::int32_t>(k), std::move(stack[k]));
        }
    }
    if (cycles) {
        const std::vector<Step> all = std::move(program_);
        for (const Step& s : all) {
            if (!IsPreparedKind(s.node->Kind())) continue;
            const auto at = static_cast<std::int32_t>(&s - all.data());
            stages_.push_back({static_cast<FormulaPreparedNode*>(s.node),
                               s.slot,
                               Collapse(all, s.begin, at),
                               {},
                               {}});
        }
        program_ = Collapse(all, 0, static_cast<std::int32_t>(all.size()));
    }
    stackDepth_ = depth;
    constants_ = constants;
    const size_t buffers = std::max<size_t>(1, static_cast<size_t>(depth - 1 + constants));
    blockSize_ = static_cast<std::int32_t>(
        std::clamp<size_t>(kScratchBytes / (buffers * sizeof(double)), 1, size_t{kMaxBlock}));
    return true;
}

std::unique_ptr<CFormula> BuildHighPassFormula(std::int32_t column, const std::string& name) {
    auto formula = std::make_unique<CFormula>(1e-5);
    std::vector<std::unique_ptr<CFormulaNode>> output;
    auto variable = std::make_unique<FormulaVariableNode>(name, column, formula.get(), 0);
    formula->variables_.push_back(variable.get());
    output.push_back(std::move(variable));
    output.push_back(MakeFunction(FormulaNodeKind::HighPass, formula.get(), 0));
    formula->Assemble(std::move(output));
    return formula;
}

std::vector<CFormula::Step> CFormula::Collapse(const std::vector<Step>& all, std::int32_t from,
                                               std::int32_t to) const {
    std::vector<Step> steps;
    std::vector<std::int32_t> indices;
    for (std::int32_t i = from; i < to; ++i) {
        const Step& s = all[static_cast<size_t>(i)];
        if (IsPreparedKind(s.node->Kind())) {
            // Its subtree is the run of steps just before it.
            while (!indices.empty() && indices.back() >= s.begin) {
                indices.pop_back();
                steps.pop_back();
            }
        }
        steps.push_back(s);
        indices.push_back(i);
    }
    return steps;
}

void CFormula::SetValueSource(FormulaValueSource source, FormulaColumnSource columns) {
    valueSource_ = source;
    columnSource_ = columns;
}

double CFormula::SourceValue(std::int32_t column, std::int32_t sample) const {
    if (!valueSource_) return std::numeric_limits<double>::quiet_NaN();
    return valueSource_(column, sample, context_);
}

void CFormula::ResetRunning() {
    for (CFormulaNode* node : postfix_) node->ResetRunning();
}

void CFormula::EvaluateRange(void* context, double* values, std::uint8_t* flags, std::int32_t first,
                             std::int32_t end) {
    first = std::max<std::int32_t>(first, 0);
    EvaluateBlockRange(context, values + first, flags + first, first, end);
}

void CFormula::EvaluateBlockRange(void* context, double* values, std::uint8_t* flags,
                                  std::int32_t first, std::int32_t end) {
    context_ = context;
    if (first < 0 || end <= first) return;
    if (first == 0) ResetRunning();
    if (!root_) {
        std::fill(values, values + (end - first), 0.0);
        std::fill(flags, flags + (end - first), std::uint8_t{kPointValid});
        currentSample_ = end - 1;
        return;
    }
    if (scratch_.empty()) {
        // Slot 0 works in the output itself; every number gets a block of its own.
        const auto slots = static_cast<size_t>(stackDepth_ - 1);
        const auto block = static_cast<size_t>(blockSize_);
        scratch_.assign((slots + static_cast<size_t>(constants_)) * block, 0.0);
        const auto fill = [&](const std::vector<Step>& steps) {
            for (const Step& s : steps) {
                if (s.constant < 0) continue;
                double* buffer =
                    scratch_.data() + (slots + static_cast<size_t>(s.constant)) * block;
                std::fill(buffer, buffer + block, static_cast<FormulaNumberNode*>(s.node)->Value());
            }
        };
        fill(program_);
        for (const CycleStage& stage : stages_) fill(stage.operands);
        slotData_.assign(static_cast<size_t>(stackDepth_), nullptr);
    }
    if (!stages_.empty() && (first == 0 || prepared_ < end))
        PrepareCycles(std::max(end, sampleCount_));
    for (std::int32_t start = first; start < end;) {
        const std::int32_t n = std::min(blockSize_, end - start);
        EvaluateBlock(values + (start - first), start, n);
        for (std::int32_t j = 0; j < n; ++j) {
            const double v = values[start - first + j];
            flags[start - first + j] = IsFiniteNormalOrZero(v) ? kPointValid
                                       : IsNoValue(v)          ? kPointMissing
                                                               : kPointInvalid;
        }
        start += n;
        currentSample_ = start - 1;
    }
}

void CFormula::ReadX(double* x, std::int32_t first, std::int32_t n) {
    const double* p = columnSource_ ? columnSource_(0, first, n, context_) : nullptr;
    for (std::int32_t j = 0; j < n; ++j) x[j] = p ? p[j] : SourceValue(0, first + j);
}

void CFormula::FeedStage(CycleStage& stage, std::int32_t pass, std::int32_t from, std::int32_t to) {
    const auto slot = static_cast<size_t>(stage.slot);
    const auto operands = static_cast<size_t>(stage.node->OperandCount());
    std::vector<const double*> data(operands);
    for (std::int32_t start = from; start < to; start += blockSize_) {
        const std::int32_t n = std::min(blockSize_, to - start);
        ReadX(stage.x.data(), start, n);
        RunSteps(stage.operands, stage.block.data(), start, n);
        for (size_t k = 0; k < operands; ++k) data[k] = slotData_[slot + k];
        stage.node->Feed(pass, stage.x.data(), data.data(), start, n);
    }
}

void CFormula::RestartStage(CycleStage& stage) {
    // The operands' running functions are evaluated here alone.
    for (const Step& s : stage.operands) s.node->ResetRunning();
    stage.node->Begin(prepared_);
}

void CFormula::PrepareCycles(std::int32_t count) {
    prepared_ = count;
    for (CycleStage& stage : stages_) {
        stage.x.resize(static_cast<size_t>(blockSize_));
        stage.block.resize(static_cast<size_t>(blockSize_));
        RestartStage(stage);
    }
    // Innermost first: a stage's operands may answer from those before it.
    for (CycleStage& stage : stages_) {
        for (std::int32_t pass = 0; pass < stage.node->Passes(); ++pass) {
            for (const Step& s : stage.operands) s.node->ResetRunning();
            FeedStage(stage, pass, 0, count);
        }
    }
}

void CFormula::AnswerStage(CycleStage& stage, double* out, std::int32_t first, std::int32_t n) {
    if (stage.node->Kind() == FormulaNodeKind::GroupDelay) {
        // A sample's delay needs the sample after it: the operand streams on
        // one sample ahead of the block, and over again from 0 for an earlier one.
        auto* node = static_cast<FormulaGroupDelayNode*>(stage.node);
        if (!node->Keep(first)) {
            RestartStage(stage);
            node->Keep(first);
        }
        const std::int32_t need = first < prepared_ ? std::min(first + n, prepared_ - 1) + 1 : 0;
        if (node->Fed() < need) FeedStage(stage, 0, node->Fed(), need);
        node->Answer(nullptr, out, first, n);
        return;
    }
    // X beyond the prepared samples is not read: they have no value.
    ReadX(stage.x.data(), first, std::clamp(prepared_ - first, 0, n));
    stage.node->Answer(stage.x.data(), out, first, n);
}

void CFormula::EvaluateBlock(double* out, std::int32_t first, std::int32_t n) {
    RunSteps(program_, out, first, n);
    if (slotData_[0] != out) std::copy(slotData_[0], slotData_[0] + n, out);
}

void CFormula::RunSteps(const std::vector<Step>& steps, double* out, std::int32_t first,
                        std::int32_t n) {
    const auto block = static_cast<size_t>(blockSize_);
    const auto slots = static_cast<size_t>(stackDepth_ - 1);
    for (const Step& s : steps) {
        double* own = s.slot == 0 ? out : scratch_.data() + static_cast<size_t>(s.slot - 1) * block;
        const double*& data = slotData_[static_cast<size_t>(s.slot)];
        switch (s.node->Kind()) {
            case FormulaNodeKind::Number:
                data = scratch_.data() + (slots + static_cast<size_t>(s.constant)) * block;
                break;
            case FormulaNodeKind::Variable: {
                auto* v = static_cast<FormulaVariableNode*>(s.node);
                const double* p =
                    columnSource_ ? columnSource_(v->Column(), first, n, context_) : nullptr;
                if (!p) {
                    for (std::int32_t j = 0; j < n; ++j)
                        own[j] = SourceValue(v->Column(), first + j);
                    p = own;
                }
                v->SetValue(p[n - 1]);
                data = p;
                break;
            }
            case FormulaNodeKind::CycleAverage:
            case FormulaNodeKind::GroupDelay:
                for (CycleStage& stage : stages_)
                    if (stage.node == s.node) AnswerStage(stage, own, first, n);
                data = own;
                break;
            default:
                if (s.square) {
                    const double* a = data;
                    for (std::int32_t j = 0; j < n; ++j) own[j] = a[j] * a[j];
                } else {
                    s.node->ApplyBlock(&data, own, n, first);
                }
                data = own;
                break;
        }
    }
}

}  // namespace kurvex
