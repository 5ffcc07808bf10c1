#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <string>
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

// The value at sample 0; fails the test when the formula is rejected or the sample invalid.
double First(const std::string& text) {
    Result r = Evaluate(text);
    EXPECT_FALSE(r.values.empty()) << text << ": " << r.error.message << " at " << r.error.position;
    if (r.values.empty()) return std::nan("");
    EXPECT_EQ(r.flags[0], kPointValid) << text;
    return r.values[0];
}

TEST(Formula, ValuesOfNamesSignsPowersAndLiterals) {
    const std::pair<std::string, double> cases[] = {
        // Names match ignoring case, longest first.
        {"va+VB", 7},
        {"V10*2", 20},
        {"v1*2", 2},
        {"I(L1)", 11},  // not I followed by (L1)
        {"I*2", 14},
        {"X@1*2", 3},             // run 1 is the data set itself
        {"2(X)", 2},              // operands side by side give the first
        {"SIN2", std::sin(2.0)},  // a function needs no parenthesis
        {"log10(100)", 2},
        // Signs bind tighter than "^"; every operator is left-associative.
        {"-2^2", 4},  // the literal -2
        {"2^3^2", 64},
        {"-(SIN(X))", -std::sin(1.5)},
        {"0-SIN(X)", -std::sin(1.5)},
        {"3*(-2)", -6},
        {"2+3*4^2/8-1", 7},
        {"(+2)*X", 3},
        {"8-2-1", 5},
        {"1-(-X)", 2.5},
        // Literals: D exponents, a bare point, and every digit however many.
        {"1.5D3", 1500},
        {"1.E2", 100},
        {".5", 0.5},
        {"2.5e-1", 0.25},
        {"1d+2", 100},
        {"1E+", 1},  // an exponent letter and sign without digits add nothing
        {"1" + std::string(120, '0'), 1e120},
        {"0." + std::string(150, '0') + "25", 2.5e-151},
        {"3.14159265358979323846264338327950288419716939937510582097494459230781640628"
         "62089986280348253421170679",
         M_PI},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(First(text), value) << text;
    EXPECT_EQ(Evaluate("-X^2").values, (std::vector<double>{2.25, 4, 0, 16}));
    // A name followed by a digit still matches: V10 is V1 then the literal 0.
    const Result sideBySide = Evaluate("V10", MakeData({"T", "V1"}, {{0, 1}, {5, 6}}));
    EXPECT_EQ(sideBySide.values, (std::vector<double>{5, 6}));
    // A name followed by a letter does not; E without a sign or digit is no exponent.
    EXPECT_EQ(Evaluate("VAX").error.message, kFormulaInvalidEntry);
    EXPECT_EQ(Evaluate("7E").error.position, 1);
}

TEST(Formula, NamesMatchOnTheirTextWhateverTheEncoding) {
    // Columns named in Windows-1252 (µ) and UTF-8 (Ü); formulas typed either
    // way (one text is in one encoding).
    const CResultDataRef data = MakeData({"T", "I\265", "\303\234"}, {{0, 1}, {2, 3}, {5, 7}});
    const std::pair<const char*, double> cases[] = {
        {"i\302\265*10", 20}, {"I\265*10", 20}, {"\334+1", 6}, {"\334*I\265", 10}};
    for (const auto& [text, value] : cases) {
        const Result r = Evaluate(text, data);
        ASSERT_EQ(r.values.size(), 2u) << text << ": " << r.error.message;
        EXPECT_EQ(r.values[0], value) << text;
    }
}

TEST(Formula, OperandsSideBySideGiveTheFirst) {
    EXPECT_EQ(Evaluate("2X").values, (std::vector<double>{2, 2, 2, 2}));
    CFormula f;
    ASSERT_TRUE(f.Compile("2X", {"T", "X"}));
    EXPECT_EQ(f.Root()->Kind(), FormulaNodeKind::List);
    EXPECT_EQ(f.Root()->OperandCount(), 2);
}

TEST(Formula, ErrorsAndPositions) {
    struct Case {
        const char* text;
        const char* message;
        std::int32_t position;
    };
    const Case cases[] = {
        {"(X", kFormulaUnmatchedOpen, 0},
        {"X*(X+(1)", kFormulaUnmatchedOpen, 0},
        {"X)", kFormulaUnmatchedClosing, 1},
        {"  x)  ", kFormulaUnmatchedClosing, 1},  // counted in the trimmed text
        {"(1))", kFormulaUnmatchedClosing, 3},
        {"X*", kFormulaInvalid, 1},
        {"", kFormulaInvalid, 0},
        {"   ", kFormulaInvalid, 0},
        {"()", kFormulaInvalid, 0},
        {"-SIN(X)", kFormulaInvalid, 0},
        {"3*-2", kFormulaInvalid, 1},
        {"+X", kFormulaInvalid, 0},
        {"SQRT", kFormulaInvalid, 0},
        {"X+AVG", kFormulaInvalid, 1},
        {"X>0", kFormulaInvalidEntry, 1},
        {"IF(X,1,0)", kFormulaInvalidEntry, 0},
        {"$A", kFormulaInvalidEntry, 0},
        {"X + 1", kFormulaInvalidEntry, 0},  // a name followed by a blank does not match
        {"1 + X", kFormulaInvalidEntry, 1},
        {"SQRTX", kFormulaInvalidEntry, 0},
        {"X,1", kFormulaInvalidEntry, 1},
        {"X 2", kFormulaInvalidEntry, 0},
        {"X@2", kFormulaInvalidEntry, 1},
    };
    for (const Case& c : cases) {
        CFormula f(1.0);
        EXPECT_FALSE(f.Compile(c.text, {"T", "X"})) << c.text;
        EXPECT_EQ(f.Error().message, c.message) << c.text;
        EXPECT_EQ(f.Error().position, c.position) << c.text;
        EXPECT_EQ(f.Root(), nullptr);
        EXPECT_TRUE(f.Postfix().empty());
        EXPECT_TRUE(f.VariableNodes().empty());
    }
    // Blanks at the ends are trimmed, and a rejected formula can be compiled again.
    CFormula f;
    EXPECT_FALSE(f.Compile("X)", {"X"}));
    EXPECT_TRUE(f.Compile("\t x+1 ", {"X"}));
    EXPECT_EQ(f.Error().message, "");
}

TEST(Formula, DivisionAndDomainRules) {
    struct Case {
        const char* text;
        double value;  // checked when valid
        std::uint8_t flag;
    };
    const Case cases[] = {
        {"1/0", 1e308, kPointValid},
        {"-1/0", 1e308, kPointValid},
        {"0/0", 0, kPointValid},
        {"X/(X-X)", 1e308, kPointValid},
        {"LOG(0)", 0, kPointInvalid},
        {"SQRT(-1)", 0, kPointInvalid},
        {"LOG(-1)", 0, kPointInvalid},
        {"EXP(1000)", 0, kPointInvalid},
        {"10^400", 0, kPointInvalid},
        {"1E-310", 0, kPointInvalid},  // denormal
        {"1E-300*1E-10", 0, kPointInvalid},
        {"1E-300", 1e-300, kPointValid},
        {"0*(-1)", -0.0, kPointValid},
        {"SIGN(SQRT(-1))", -1, kPointValid},  // NaN counts as negative
        {"SIGN(0)", 0, kPointValid},
        {"SIGN(-0.5)", -1, kPointValid},
        {"SIGN(1E-300)", 1, kPointValid},
        {"ABS(-2)", 2, kPointValid},
        {"ATAN(1E300)", M_PI / 2, kPointValid},
    };
    for (const Case& c : cases) {
        Result r = Evaluate(c.text);
        ASSERT_FALSE(r.values.empty()) << c.text;
        EXPECT_EQ(r.flags[0], c.flag) << c.text;
        if (c.flag == kPointValid) {
            EXPECT_EQ(r.values[0], c.value) << c.text;
        }
    }
}

TEST(Formula, SquareIsExact) {
    // The library's pow misrounds about one square in a thousand; X^2 must
    // equal X*X, as in the plain C++ it stands for.
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> u(-1e3, 1e3);
    std::vector<double> x(4000);
    for (double& v : x) v = u(random);
    const CResultDataRef data =
        MakeData({"T", "X", "Two"}, {Ramp(x.size(), 1), x, std::vector<double>(x.size(), 2.0)});
    const Result r = Evaluate("X^2", data);
    ASSERT_EQ(r.values.size(), x.size());
    for (size_t i = 0; i < x.size(); ++i) ASSERT_EQ(r.values[i], x[i] * x[i]) << x[i];
    const Result general = Evaluate("X^TWO", data);
    for (size_t i = 0; i < x.size(); ++i) ASSERT_EQ(general.values[i], x[i] * x[i]) << x[i];
}

TEST(Formula, RunningFunctionsOverConstants) {
    const size_t n = 3000;  // more than one block
    const CResultDataRef data = MakeData({"T"}, {Ramp(n, 0.25)});
    const Result avg = Evaluate("AVG(1)", data);
    const Result integral = Evaluate("INT(1)", data);
    ASSERT_EQ(avg.values.size(), n);
    for (size_t i = 0; i < n; ++i) {
        ASSERT_EQ(avg.values[i], 1.0) << i;
        ASSERT_EQ(integral.values[i], static_cast<double>(i + 1) * 0.25) << i;
    }
    // The mean of T over samples 0..i is T[i] / 2.
    const Result mean = Evaluate("AVG(T)", data);
    EXPECT_DOUBLE_EQ(mean.values[n - 1], 0.25 * (n - 1) / 2.0);
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
    double x[3] = {0.5, -1, 2};
    f.SetValueSource(
        [](std::int32_t, std::int32_t i, void* c) { return static_cast<double*>(c)[i]; });
    double values[3];
    std::uint8_t flags[3];
    f.EvaluateRange(x, values, flags, 0, 3);
    EXPECT_EQ(values[0], n + 0.5);
    EXPECT_EQ(values[1], n - 1.0);
    EXPECT_EQ(values[2], n + 2.0);

    // Deep unary chains and parentheses, then teardown without recursion.
    std::string signs;
    for (int i = 0; i < n; ++i) signs += "-(";
    signs += "2" + std::string(n, ')');
    EXPECT_EQ(First(signs), 2.0);
    EXPECT_EQ(First(std::string(n, '(') + "X" + std::string(n, ')')), 1.5);
    EXPECT_EQ(Evaluate(std::string(n, '(') + "X" + std::string(n - 1, ')')).error.message,
              kFormulaUnmatchedOpen);
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
                double& s = state_[n][0];
                s += arg(0);
                return (s * dt_) / ((i + 1) * dt_);
            }
            case FormulaNodeKind::Integral: {
                double& s = state_[n][0];
                s += arg(0);
                return s * dt_;
            }
            case FormulaNodeKind::HighPass: {
                auto& [v, iC, iL] = state_[n];
                const double x = arg(0);
                const double gC = 0.20264 / dt_, gL = 50 * dt_, g = 4.4563;
                const double b = iC / gC + v;
                const double d = -(iL / gL) - v;
                v = (x + gC * b + gL * d) / (gC + gL + g);
                iC = gC * (v - b);
                iL = gL * (v - d);
                return iC;
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
    std::map<const CFormulaNode*, std::array<double, 3>> state_;
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
        static const char* functions[] = {"SQRT",  "SIN", "COS",  "TAN", "ATAN", "EXP",   "LOG",
                                          "LOG10", "ABS", "SIGN", "AVG", "INT",  "HIPASS"};
        return std::string(functions[Pick(13)]) + "(" + Make(depth - 1) + ")";
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
    int compared = 0;
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
        ++compared;
    }
    EXPECT_EQ(compared, 300);
}

TEST(FormulaVariable, CheckReportsPositionAndMessage) {
    const CResultDataRef data = MakeData({"Time", "V(out)"}, {{0, 1, 2}, {5, 6, 7}});
    FormulaError error{9, "stale"};
    EXPECT_TRUE(CheckFormula(data, "2*v(OUT)", error));
    EXPECT_EQ(error.position, 0);
    EXPECT_EQ(error.message, "");
    EXPECT_FALSE(CheckFormula(data, " V(OUT))", error));
    EXPECT_EQ(error.position, 6);
    EXPECT_EQ(error.message, "Unmatched closing parenthesis.");
}

TEST(FormulaVariable, TooFewSamplesFailWithoutMessage) {
    const CResultDataRef one = MakeData({"Time", "V"}, {{0}, {5}});
    const CResultDataRef none;
    for (const CResultDataRef* data : {&one, &none}) {
        FormulaError error{3, "x"};
        EXPECT_FALSE(CheckFormula(*data, "1", error));
        EXPECT_EQ(error.position, 0);
        EXPECT_EQ(error.message, "");
        const FormulaBuild build = BuildFormulaVariable(*data, "1");
        EXPECT_FALSE(build.variable);
        EXPECT_EQ(build.error.position, 0);
        EXPECT_EQ(build.error.message, "");
    }
}

TEST(FormulaVariable, BuildMakesOwningDerivedVariable) {
    // Source flags are not consulted: the missing sample's value is read.
    CResultDataRef data = MakeData({"Time", "V"}, {{0, 0.5, 1, 1.5}, {4, -1, 0, 9}});
    data->Variable(1)->Flags()[3] = kPointMissing;
    const FormulaBuild build = BuildFormulaVariable(data, " sqrt(V)+INT(1)");
    ASSERT_TRUE(build.variable);
    const CResultVariable* v = build.variable.get();
    EXPECT_EQ(v->RefCount(), 1);
    EXPECT_EQ(v->Kind(), kVariableFormula);
    EXPECT_EQ(v->Name(), " sqrt(V)+INT(1)");
    ASSERT_EQ(v->Capacity(), 4);
    EXPECT_EQ(std::vector<std::uint8_t>(v->Flags(), v->Flags() + 4),
              (std::vector<std::uint8_t>{1, 2, 1, 1}));
    EXPECT_EQ(v->Values()[0], 2.5);
    EXPECT_EQ(v->Values()[3], 3 + 2.0);
    EXPECT_TRUE(build.anyInvalid);
    // Extents over the valid samples only.
    EXPECT_EQ(v->Min(), 1.5);
    EXPECT_EQ(v->Max(), 5.0);
    const auto* formula = dynamic_cast<const CFormula*>(v->Formula());
    ASSERT_NE(formula, nullptr);
    EXPECT_EQ(formula->TimeStep(), 0.5);

    const FormulaBuild clean = BuildFormulaVariable(data, "V");
    EXPECT_FALSE(clean.anyInvalid);
    EXPECT_EQ(clean.variable->Min(), -1);
    EXPECT_EQ(clean.variable->Max(), 9);
    // With no valid sample the extents stay 0 and 0.
    const FormulaBuild bad = BuildFormulaVariable(data, "LOG(-1)");
    EXPECT_EQ(bad.variable->Min(), 0);
    EXPECT_EQ(bad.variable->Max(), 0);
}

// The RLC high-pass as a biquad from the bilinear transform of its transfer
// function IC/X = LC s^2 / (LC s^2 + gL s + 1): the trapezoidal rule, reached
// another way.
std::vector<double> Biquad(const std::vector<double>& x, double dt) {
    const double L = 0.01, C = 0.20264 / 2, g = 4.4563;
    const double k = 2 / dt;
    const double lc = L * C * k * k, lg = L * g * k;
    const double a0 = lc + lg + 1, a1 = 2 - 2 * lc, a2 = lc - lg + 1;
    const double b0 = lc, b1 = -2 * lc, b2 = lc;
    std::vector<double> y(x.size());
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        y[i] = (b0 * x[i] + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2) / a0;
        x2 = x1;
        x1 = x[i];
        y2 = y1;
        y1 = y[i];
    }
    return y;
}

TEST(FormulaVariable, HighPassIsTheTrapezoidalRlcFilter) {
    const size_t n = 20000;
    const double dt = 1e-4;
    std::mt19937_64 random(5);
    std::normal_distribution<double> noise(0, 1);
    std::vector<double> x(n);
    for (size_t i = 0; i < n; ++i) {
        x[i] = (i > 100 ? 3.0 : 0.0) + std::sin(2 * M_PI * 50 * i * dt) + 0.2 * noise(random);
    }
    const CResultDataRef data = MakeData({"Time", "X"}, {Ramp(n, dt), x});
    const FormulaBuild build = BuildFormulaVariable(data, "HIPASS(X)");
    ASSERT_TRUE(build.variable);
    const std::vector<double> want = Biquad(x, dt);
    for (size_t i = 0; i < n; ++i) {
        ASSERT_NEAR(build.variable->Values()[i], want[i], 1e-9) << i;
    }
}

TEST(FormulaVariable, HighPassFormulaIsBuiltWithoutParsing) {
    // It computes what the parsed HIPASS computes over a step of 10 us.
    std::unique_ptr<CFormula> f = BuildHighPassFormula(2, "V(out)");
    ASSERT_NE(f->Root(), nullptr);
    EXPECT_EQ(f->VariableNodes()[0]->Name(), "V(out)");
    const size_t n = 50;
    std::vector<double> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = std::cos(0.3 * static_cast<double>(i));
    CResultDataRef data = MakeData({"Time", "A", "V(out)"}, {Ramp(n, 1e-5), Ramp(n, 1), v});
    const FormulaBuild parsed = BuildFormulaVariable(data, "HIPASS(V(OUT))");
    std::vector<double> values(n);
    std::vector<std::uint8_t> flags(n);
    f->SetValueSource(DataSetValue, DataSetColumn);
    f->EvaluateRange(&data, values.data(), flags.data(), 0, static_cast<std::int32_t>(n));
    for (size_t i = 0; i < n; ++i) ASSERT_EQ(values[i], parsed.variable->Values()[i]) << i;

    // Clearing forgets everything but keeps the formula usable.
    f->Clear();
    EXPECT_EQ(f->Root(), nullptr);
    EXPECT_TRUE(f->Postfix().empty());
    EXPECT_TRUE(f->VariableNodes().empty());
    EXPECT_EQ(f->TimeStep(), 0);
    f->EvaluateRange(&data, values.data(), flags.data(), 0, 2);
    EXPECT_EQ(values[0], 0);
    EXPECT_EQ(flags[0], kPointValid);
}

TEST(FormulaVariable, HighPassDataSetGetsOneFilterPerColumnAfterX) {
    CResultDataRef d(kDataSetHighPass);
    ASSERT_TRUE(d.Initialise(kDataSetHighPass, 3, 4, 100));
    d.SetName(1, "Va");
    d.SetName(2, "Vb");
    auto* hp = static_cast<HighPassResultData*>(d->Extension());
    AttachHighPassFormulas(*hp);
    ASSERT_EQ(hp->Formulas().size(), 2u);
    for (int k = 0; k < 2; ++k) {
        const auto* f = dynamic_cast<const CFormula*>(hp->Formulas()[k].get());
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->Root()->Kind(), FormulaNodeKind::HighPass);
        EXPECT_EQ(f->VariableNodes()[0]->Column(), k + 1);
        EXPECT_EQ(f->TimeStep(), 1e-5);
    }
    EXPECT_EQ(hp->Values().size(), 2u);
    // Attaching again keeps the filters, and their running state, as they are.
    const VariableFormula* first = hp->Formulas()[0].get();
    AttachHighPassFormulas(*hp);
    EXPECT_EQ(hp->Formulas()[0].get(), first);
    // A grown data set gets filters for its new columns.
    ASSERT_TRUE(d->ResizeVariables(4));
    AttachHighPassFormulas(*hp);
    ASSERT_EQ(hp->Formulas().size(), 3u);
    EXPECT_EQ(hp->Formulas()[0].get(), first);
    EXPECT_EQ(dynamic_cast<const CFormula*>(hp->Formulas()[2].get())->VariableNodes()[0]->Column(),
              3);
}

// Run 1 at X 0..4; run 2 at uneven steps over 0.5..4; run 3 over 0..4 with
// invalid samples at 1.5 and 2.5 and without "V (A)"; only run 2 has I(L1).
CResultDataRef ThreeRuns() {
    CResultDataRef data =
        MakeData({"Time", "V(out)", "V (A)"}, {{0, 1, 2, 3, 4}, {1, 2, 3, 4, 5}, {0, 0, 0, 0, 0}});
    const CResultDataRef two =
        MakeData({"time", "I(L1)", "V (A)", "V(OUT)"},
                 {{0.5, 1.5, 2, 4}, {1, 1, 1, 1}, {6, 6, 6, 6}, {10, 20, 40, 100}});
    const CResultDataRef three =
        MakeData({"Time", "V(out)"}, {{0, 0.5, 1.5, 2, 2.5, 4}, {0, 1, 99, 4, 99, 8}});
    three->Variable(1)->Flags()[2] = kPointInvalid;
    three->Variable(1)->Flags()[4] = kPointInvalid;
    data->AddRun(two.Get(), "vin=1 r1=1000");
    data->AddRun(three.Get(), "Vin=2 R1=1000");
    return data;
}

TEST(FormulaVariable, OtherRunsAreInterpolatedOntoTheXOfTheRunEvaluated) {
    const CResultDataRef data = ThreeRuns();
    const double no = std::nan("");  // an invalid sample
    struct Case {
        const char* text;
        std::int32_t run;  // evaluated over, from 0
        std::vector<double> want;
    };
    const Case cases[] = {
        {"V(out)@2-V(out)@1", 0, {no, 13, 37, 66, 95}},
        {"v(OUT)@\"VIN=1 R1=1000\"", 0, {no, 15, 40, 70, 100}},
        // Exact X needs only its own sample; between needs both neighbours
        // valid: at 1 the right one (1.5) is not, at 3 the left one (2.5).
        {"(V(out)@\"vin=2 r1=1000\")*2", 0, {0, no, 8, no, 16}},
        {"V (A)@2+I(L1)@2", 0, {no, 7, 7, 7, 7}},
        {"V(out)@1", 0, {1, 2, 3, 4, 5}},
        // Over another run, plain names are its own and NAME@K still run K.
        {"V(out)*2", 1, {20, 40, 80, 200}},
        {"V(out)-V(out)@1", 1, {8.5, 17.5, 37, 95}},
        {"V(out)@2", 2, {no, 10, 20, 40, 55, 100}},
        {"V(out)@3-V(out)", 2, {0, 0, 0, 0, 0, 0}},
    };
    for (const auto& [text, run, want] : cases) {
        FormulaBuildOptions options;
        options.run = run;
        const FormulaBuild build = BuildFormulaVariable(data, text, options);
        ASSERT_TRUE(build.variable) << text << ": " << build.error.message;
        for (size_t i = 0; i < want.size(); ++i) {
            const bool valid = !std::isnan(want[i]);
            EXPECT_EQ(build.variable->Flags()[i], valid ? kPointValid : kPointInvalid)
                << text << " " << i;
            if (valid) {
                EXPECT_EQ(build.variable->Values()[i], want[i]) << text << " " << i;
            }
        }
    }
}

TEST(FormulaVariable, UnknownRunsAndVariablesARunLacksAreRefusedWhereNamed) {
    CResultDataRef data = ThreeRuns();
    const std::pair<const char*, std::int32_t> cases[] = {
        {"V(out)@4", 6},        {"V(out)@0", 6},       {"V(out)@99999999999", 6},
        {"V(out)@\"nope\"", 6}, {"V(out)@\"vin=1", 6}, {"V(out)@", 6},
        {"V(out)@\"\"", 6},     {"V(out)@2X", 6},      {"1+V (A)@3", 2},
        {"I(L1)", 0},           {"I(L1)@1", 0},
    };
    for (const auto& [text, position] : cases) {
        FormulaError error;
        EXPECT_FALSE(CheckFormula(data, text, error)) << text;
        EXPECT_EQ(error.message, kFormulaInvalidEntry) << text;
        EXPECT_EQ(error.position, position) << text;
    }
    // A run whose X goes back cannot be interpolated.
    const CResultDataRef back = MakeData({"Time", "V"}, {{0, 2, 1}, {0, 0, 0}});
    data->AddRun(back.Get(), "");
    FormulaError error;
    EXPECT_TRUE(CheckFormula(data, "V(out)@3", error));
    EXPECT_FALSE(CheckFormula(data, "V(out)@3+V@4", error));
    EXPECT_EQ(error.message, kFormulaRunUnsorted);
    EXPECT_EQ(error.position, 10);
}

// A pure delay T has the phase -360 f T degrees: GD gives T wherever the
// frequency rises, however uneven the steps and however often the phase
// wraps; a frequency that repeats or falls leaves its neighbours invalid.
TEST(GroupDelay, PureDelayGivesItsDelay) {
    constexpr double T = 2e-3;
    constexpr std::uint8_t V = kPointValid, I = kPointInvalid;
    struct Case {
        const char* text;
        std::vector<double> f;
        std::vector<std::uint8_t> flags;
        double scale;  // the formula's value over T where valid
    };
    const Case cases[] = {
        {"GD(P)", {10, 100, 130, 300, 310, 500, 700, 900}, {V, V, V, V, V, V, V, V}, 1.0},
        {"2*gd(P+30)", {10, 100, 130, 300}, {V, V, V, V}, 2.0},
        {"GD(P)", {10, 100, 100, 300, 200, 210}, {V, I, I, I, I, V}, 1.0},
    };
    for (const Case& c : cases) {
        std::vector<double> wrapped;
        for (double f : c.f) wrapped.push_back(std::remainder(-360 * f * T, 360.0));
        const CResultDataRef data = test::MakeData({"Frequency", "P"}, {c.f, wrapped});
        const FormulaBuild build = BuildFormulaVariable(data, c.text);
        ASSERT_TRUE(build.variable) << c.text;
        for (std::size_t i = 0; i < c.f.size(); ++i) {
            EXPECT_EQ(build.variable->Flags()[i], c.flags[i]) << c.text << " at " << i;
            if (c.flags[i] == V) {
                EXPECT_NEAR(build.variable->Values()[i], c.scale * T, 1e-12) << c.text << i;
            }
        }
    }
}

}  // namespace
}  // namespace kurvex
