#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "formula/Formula.h"
#include "formula/FormulaTestSupport.h"
#include "formula/FormulaVariable.h"

namespace kurvex {
namespace {

using test::MakeData;
using test::Ramp;

// Time step 0.5; X = 1.5, -2, 0, 4; the other columns tell apart which one was read.
CResultDataRef Sample() {
    const auto all = [](double v) { return std::vector<double>(4, v); };
    return MakeData(
        {"Time", "X", "Va", "vB", "V1", "V10", "I", "I(L1)"},
        {Ramp(4, 0.5), {1.5, -2, 0, 4}, all(3), all(4), all(1), all(10), all(7), all(11)});
}

struct Result {
    std::vector<double> values;
    std::vector<std::uint8_t> flags;
    FormulaError error;
};

Result Evaluate(const std::string& text, const CResultDataRef& data = Sample()) {
    FormulaBuild b = BuildFormulaVariable(data, text);
    Result r{{}, {}, b.error};
    if (b.variable) {
        const auto n = static_cast<size_t>(b.variable->Capacity());
        r.values.assign(b.variable->Values(), b.variable->Values() + n);
        r.flags.assign(b.variable->Flags(), b.variable->Flags() + n);
    }
    return r;
}

TEST(Formula, ValuesOfNamesSignsPowersLiteralsAndDomainRules) {
    struct Case {
        std::string text;
        double value;  // checked when valid
        std::uint8_t flag = kPointValid;
    };
    const Case cases[] = {
        // Names match ignoring case, longest first.
        {"va+VB", 7},
        {"V10*2", 20},
        {"I(L1)", 11},  // not I followed by (L1)
        {"2(X)", 2},    // operands side by side give the first
        {"2X", 2},
        {"SIN2", std::sin(2.0)},  // a function needs no parenthesis
        {"log10(100)", 2},
        // Signs bind tighter than "^"; every operator is left-associative.
        {"-2^2", 4},  // the literal -2
        {"2^3^2", 64},
        {"-(SIN(X))", -std::sin(1.5)},
        {"3*(-2)", -6},
        {"2+3*4^2/8-1", 7},
        {"(+2)*X", 3},
        {"8-2-1", 5},
        // Literals: D exponents, a bare point, and every digit however many.
        {"1.5D3", 1500},
        {"1.E2", 100},
        {".5", 0.5},
        {"1d+2", 100},
        {"1E+", 1},  // an exponent letter and sign without digits add nothing
        {"1" + std::string(120, '0'), 1e120},
        {"0." + std::string(150, '0') + "25", 2.5e-151},
        // Where a function has no value.
        {"LOG(0)", 0, kPointInvalid},
        {"SQRT(-1)", 0, kPointInvalid},
        {"EXP(1000)", 0, kPointInvalid},
        {"1E-300*1E-10", 0, kPointInvalid},  // denormal
        {"1E-300", 1e-300},
        {"0*(-1)", -0.0},
    };
    for (const Case& c : cases) {
        const Result r = Evaluate(c.text);
        ASSERT_FALSE(r.values.empty()) << c.text << ": " << r.error.message;
        EXPECT_EQ(r.flags[0], c.flag) << c.text;
        if (c.flag == kPointValid) {
            EXPECT_EQ(r.values[0], c.value) << c.text;
        }
    }
    EXPECT_EQ(Evaluate("-X^2").values, (std::vector<double>{2.25, 4, 0, 16}));
    // A name followed by a digit still matches: V10 is V1 then the literal 0.
    const Result sideBySide = Evaluate("V10", MakeData({"T", "V1"}, {{0, 1}, {5, 6}}));
    EXPECT_EQ(sideBySide.values, (std::vector<double>{5, 6}));
    // A name followed by a letter does not; E without a sign or digit is no exponent.
    EXPECT_EQ(Evaluate("VAX").error.message, kFormulaInvalidEntry);
    EXPECT_EQ(Evaluate("7E").error.position, 1);
}

TEST(Formula, NamesMatchWhateverTheEncodingAndConstantsReadAfterTheColumns) {
    // Columns named in Windows-1252 (µ) and UTF-8 (Ü); formulas typed either
    // way (one text is in one encoding).
    const CResultDataRef encoded = MakeData({"T", "I\265", "\303\234"}, {{0, 1}, {2, 3}, {5, 7}});
    CResultDataRef data = MakeData({"T", "V1", "R"}, {{0, 1}, {5, 6}, {2, 4}});
    data->SetConstants({{"Ro.R", 0.0125}, {"r", 99}, {"V10", 3}, {"Two", 2}});
    const std::tuple<const CResultDataRef*, const char*, std::vector<double>> cases[] = {
        {&encoded, "i\302\265*10", {20, 30}},
        {&encoded, "I\265*10", {20, 30}},
        {&encoded, "\334+1", {6, 8}},
        {&data, "V1/ro.R", {5 / 0.0125, 6 / 0.0125}},
        {&data, "R", {2, 4}},    // the column of that name wins
        {&data, "V10", {3, 3}},  // longest first: not V1 followed by 0
    };
    for (const auto& [d, text, values] : cases) {
        const Result r = Evaluate(text, *d);
        EXPECT_EQ(r.values, values) << text << ": " << r.error.message;
    }
    EXPECT_EQ(Evaluate("RO.R@1", data).error.position, 4);
    // Runs may hold constants of their own: a result of several offers none.
    const CResultDataRef two = MakeData({"T", "V1", "R"}, {{0, 1}, {7, 8}, {2, 4}});
    data->AddRun(two.Get(), "b");
    EXPECT_EQ(Evaluate("V1/RO.R", data).error.message, kFormulaInvalidEntry);
}

TEST(Formula, ErrorsAndPositions) {
    struct Case {
        const char* text;
        const char* message;
        std::int32_t position;
    };
    const Case cases[] = {
        {"X*(X+(1)", kFormulaUnmatchedOpen, 0},
        {"  x)  ", kFormulaUnmatchedClosing, 1},  // counted in the trimmed text
        {"X*", kFormulaInvalid, 1},
        {"   ", kFormulaInvalid, 0},
        {"()", kFormulaInvalid, 0},
        {"-SIN(X)", kFormulaInvalid, 0},
        {"3*-2", kFormulaInvalid, 1},
        {"X+AVG", kFormulaInvalid, 1},
        {"X>0", kFormulaInvalidEntry, 1},
        {"IF(X,1,0)", kFormulaInvalidEntry, 0},
        {"X + 1", kFormulaInvalidEntry, 0},  // a name followed by a blank does not match
        {"1 + X", kFormulaInvalidEntry, 1},
        {"SQRTX", kFormulaInvalidEntry, 0},
        {"X,1", kFormulaInvalidEntry, 1},
        // CYCAVG takes exactly two arguments, each one value.
        {"CYCAVG(X)", kFormulaInvalid, 0},
        {"3*CYCAVG+X", kFormulaInvalid, 2},
        {"CYCAVG(X,T,X)", kFormulaInvalidEntry, 10},
        {"CYCAVG(X,)", kFormulaInvalid, 0},
        {"CYCAVG(2X,T)", kFormulaInvalid, 0},
        {"1+CYCAVG(X*,T)", kFormulaInvalid, 10},
        {"CYCAVG((X,T))", kFormulaInvalidEntry, 9},
    };
    for (const Case& c : cases) {
        CFormula f(1.0);
        EXPECT_FALSE(f.Compile(c.text, {"T", "X"})) << c.text;
        EXPECT_EQ(f.Error().message, c.message) << c.text;
        EXPECT_EQ(f.Error().position, c.position) << c.text;
        EXPECT_EQ(f.Root(), nullptr);  // nothing half built
    }
    // Blanks at the ends are trimmed, and a rejected formula can be compiled again.
    CFormula f;
    EXPECT_FALSE(f.Compile("X)", {"X"}));
    EXPECT_TRUE(f.Compile("\t x+1 ", {"X"}));
    EXPECT_EQ(f.Error().message, "");
}

TEST(Formula, SquareIsExact) {
    // The library's pow misrounds about one square in a thousand; X^TWO must
    // equal X*X, as in the plain C++ it stands for, as X^2 does.
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> u(-1e3, 1e3);
    std::vector<double> x(4000);
    for (double& v : x) v = u(random);
    const CResultDataRef data =
        MakeData({"T", "X", "Two"}, {Ramp(x.size(), 1), x, std::vector<double>(x.size(), 2.0)});
    const Result general = Evaluate("X^TWO", data);
    ASSERT_EQ(general.values.size(), x.size());
    for (size_t i = 0; i < x.size(); ++i) ASSERT_EQ(general.values[i], x[i] * x[i]) << x[i];
}

TEST(Formula, RunningMeanNeedsATimeStep) {
    // With X[1] = X[0] there is no time step; AVG is then 0/0.
    EXPECT_EQ(Evaluate("AVG(1)", MakeData({"T"}, {{1, 1, 2}})).flags,
              (std::vector<std::uint8_t>{2, 2, 2}));
}

TEST(Formula, NestingOfAnyDepthCompilesAndEvaluates) {
    const int n = 50000;
    // Right-nested sums need a value on the stack per level.
    std::string sum;
    for (int i = 0; i < n; ++i) sum += "1+(";
    sum += "X";
    sum += std::string(n, ')');
    CFormula f(1.0);
    ASSERT_TRUE(f.Compile(sum, {"T", "X"}));
    EXPECT_GT(f.StackDepth(), n);
    EXPECT_EQ(Evaluate(sum).values, (std::vector<double>{n + 1.5, n - 2.0, n + 0.0, n + 4.0}));

    // Deep unary chains and parentheses, then teardown without recursion.
    std::string signs;
    for (int i = 0; i < n; ++i) signs += "-(";
    signs += "2" + std::string(n, ')');
    EXPECT_EQ(Evaluate(signs).values, std::vector<double>(4, 2.0));
    EXPECT_EQ(Evaluate(std::string(n, '(') + "X" + std::string(n, ')')).values,
              (std::vector<double>{1.5, -2, 0, 4}));
}

// Evaluates a compiled tree one sample at a time, straight from the
// definitions, with its own running state: the yardstick for the block engine.
class ReferenceEvaluator {
public:
    ReferenceEvaluator(const std::vector<std::vector<double>>& columns, double dt)
        : columns_(columns), dt_(dt) {}

    double Eval(const CFormulaNode* n, std::int32_t i) {
        auto arg = [&](int k) { return Eval(n->Operand(k), i); };
        using K = FormulaNodeKind;
        using Unary = double (*)(double);
        static const std::map<K, Unary> unary = {
            {K::Negate, [](double a) { return -a; }},
            {K::Sqrt, [](double a) { return std::sqrt(a); }},
            {K::Sin, [](double a) { return std::sin(a); }},
            {K::Cos, [](double a) { return std::cos(a); }},
            {K::Tan, [](double a) { return std::tan(a); }},
            {K::Atan, [](double a) { return std::atan(a); }},
            {K::Exp, [](double a) { return std::exp(a); }},
            {K::Log, [](double a) { return std::log(a); }},
            {K::Log10, [](double a) { return std::log10(a); }},
            {K::Abs, [](double a) { return std::fabs(a); }},
            {K::Sign, [](double a) { return a > 0    ? 1.0
                                            : a == 0 ? 0.0
                                                     : -1.0; }},
        };
        using Binary = double (*)(double, double);
        static const std::map<K, Binary> binary = {
            {K::Add, [](double a, double b) { return a + b; }},
            {K::Subtract, [](double a, double b) { return a - b; }},
            {K::Multiply, [](double a, double b) { return a * b; }},
            {K::Divide, [](double a, double b) { return b == 0 ? (a == 0 ? 0 : 1e308) : a / b; }},
            {K::Power, [](double a, double b) { return b == 2 ? a * a : std::pow(a, b); }},
        };
        if (const auto f = unary.find(n->Kind()); f != unary.end()) return f->second(arg(0));
        if (const auto f = binary.find(n->Kind()); f != binary.end())
            return f->second(arg(0), arg(1));
        switch (n->Kind()) {
            case FormulaNodeKind::Number:
                return static_cast<const FormulaNumberNode*>(n)->Value();
            case FormulaNodeKind::Variable: {
                const auto* v = static_cast<const FormulaVariableNode*>(n);
                return columns_[static_cast<size_t>(v->Column())][static_cast<size_t>(i)];
            }
            case FormulaNodeKind::Average: {
                double& s = state_[n];
                s += arg(0);
                return (s * dt_) / ((i + 1) * dt_);
            }
            case FormulaNodeKind::Integral: {
                double& s = state_[n];
                s += arg(0);
                return s * dt_;
            }
            case FormulaNodeKind::List: {
                const double first = arg(0);
                for (int k = 1; k < n->OperandCount(); ++k) arg(k);
                return first;
            }
            default:
                ADD_FAILURE() << "unexpected node";
                return 0;
        }
    }

private:
    const std::vector<std::vector<double>>& columns_;
    double dt_;
    std::map<const CFormulaNode*, double> state_;  // a running sum
};

// Random formulas over the columns T, VA, VB, V1, V10.
class FormulaMaker {
public:
    explicit FormulaMaker(std::uint64_t seed) : random_(seed) {}

    std::string Make(int depth) {
        const int pick = Pick(depth <= 0 ? 4 : 10);
        if (pick < 2) return Leaf();
        if (pick < 4 && depth <= 0) return Leaf();
        if (pick < 6) {
            static const char* ops[] = {"+", "-", "*", "/", "^"};
            const std::string e = Make(depth - 1) + ops[Pick(5)] + Make(depth - 1);
            return Pick(3) ? "(" + e + ")" : e;
        }
        if (pick < 7) return "(-(" + Make(depth - 1) + "))";        // a sign only after "("
        if (pick < 8) return Leaf() + "(" + Make(depth - 1) + ")";  // side by side
        // HIPASS has its own oracle, the filter's biquad.
        static const char* functions[] = {"SQRT", "SIN",   "COS", "TAN",  "ATAN", "EXP",
                                          "LOG",  "LOG10", "ABS", "SIGN", "AVG",  "INT"};
        return std::string(functions[Pick(12)]) + "(" + Make(depth - 1) + ")";
    }

private:
    int Pick(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }
    std::string Leaf() {
        static const char* leaves[] = {"va", "VB", "V1",    "V10", "T",
                                       "0",  "2",  "1.5D1", ".5",  "3E-1"};
        return leaves[Pick(10)];
    }
    std::mt19937_64 random_;
};

bool SameValue(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(Formula, BlocksMatchSampleBySampleDefinition) {
    const size_t rows = 2600;  // blocks of 1024 and a short one
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> u(-5, 5);
    std::vector<std::vector<double>> columns = {Ramp(rows, 1e-3), {}, {}, {}, {}};
    for (size_t c = 1; c < columns.size(); ++c) {
        for (size_t i = 0; i < rows; ++i) columns[c].push_back(i % 7 == 0 ? 0.0 : u(random));
    }
    const CResultDataRef data = MakeData({"T", "VA", "VB", "V1", "V10"}, columns);
    FormulaMaker maker(3);
    for (int round = 0; round < 300; ++round) {
        const std::string text = maker.Make(1 + round % 6);
        FormulaBuild built = BuildFormulaVariable(data, text);
        ASSERT_TRUE(built.variable) << text << ": " << built.error.message;
        const auto* formula = static_cast<const CFormula*>(built.variable->Formula());
        ReferenceEvaluator reference(columns, 1e-3);

        // The same formula again, evaluated in uneven pieces.
        CFormula pieces(1e-3);
        ASSERT_TRUE(pieces.Compile(text, {"T", "VA", "VB", "V1", "V10"}));
        pieces.SetValueSource(DataSetValue);  // no column fast path
        std::vector<double> values(rows);
        std::vector<std::uint8_t> flags(rows);
        // Twice: a second pass from row 0 starts the running functions afresh.
        for (int pass = 0; pass < 2; ++pass) {
            for (std::int32_t at = 0; at < static_cast<std::int32_t>(rows);) {
                const std::int32_t end = std::min<std::int32_t>(at + 1 + at % 777, rows);
                pieces.EvaluateRange(const_cast<CResultDataRef*>(&data), values.data(),
                                     flags.data(), at, end);
                at = end;
            }
        }
        for (std::int32_t i = 0; i < static_cast<std::int32_t>(rows); ++i) {
            const double want = reference.Eval(formula->Root(), i);
            const std::uint8_t wantFlag = std::isfinite(want) && (want == 0 || std::isnormal(want))
                                              ? kPointValid
                                              : kPointInvalid;
            ASSERT_TRUE(SameValue(built.variable->Values()[i], want))
                << text << " at " << i << ": " << built.variable->Values()[i] << " vs " << want;
            ASSERT_EQ(built.variable->Flags()[i], wantFlag) << text << " at " << i;
            ASSERT_TRUE(SameValue(values[i], want)) << text << " in pieces at " << i;
            ASSERT_EQ(flags[i], wantFlag) << text << " in pieces at " << i;
        }
    }
}

}  // namespace
}  // namespace kurvex
