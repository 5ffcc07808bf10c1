#include "analysis/MeasScript.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <unordered_map>
#include <utility>

#include "analysis/MeasureCatalogue.h"
#include "formula/FormulaVariable.h"

namespace kurvex {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string Trim(std::string_view s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return std::string(s.substr(a, b - a));
}

bool IsAlpha(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsWordChar(char c) {
    return IsAlpha(c) || IsDigit(c) || c == '_';
}

// The shortest text that reads back as `v`: 0.9, not 0.90000000000000002.
std::string FormatNumber(double v) {
    char buf[40];
    for (int digits = 15; digits <= 17; ++digits) {
        std::snprintf(buf, sizeof buf, "%.*g", digits, v);
        if (std::strtod(buf, nullptr) == v) break;
    }
    return buf;
}

// One past the numeric part of a SPICE number at s[pos] (no sign), or pos.
size_t ScanMantissa(std::string_view s, size_t pos) {
    size_t i = pos;
    const size_t start = i;
    while (i < s.size() && IsDigit(s[i])) ++i;
    bool digits = i > start;
    if (i < s.size() && s[i] == '.') {
        ++i;
        const size_t f = i;
        while (i < s.size() && IsDigit(s[i])) ++i;
        digits = digits || i > f;
    }
    if (!digits) return pos;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < s.size() && IsDigit(s[j])) {
            while (j < s.size() && IsDigit(s[j])) ++j;
            i = j;
        }
    }
    return i;
}

// The scale of the letters after a number (SPICE reads only the scale and
// ignores the rest, so "10us" is 10u).
double ScaleOf(std::string_view letters) {
    const std::string l = Lower(letters);
    if (l.rfind("meg", 0) == 0) return 1e6;
    if (l.rfind("mil", 0) == 0) return 25.4e-6;
    if (l.empty()) return 1.0;
    switch (l[0]) {
        case 'f':
            return 1e-15;
        case 'p':
            return 1e-12;
        case 'n':
            return 1e-9;
        case 'u':
            return 1e-6;
        case 'm':
            return 1e-3;
        case 'k':
            return 1e3;
        case 'g':
            return 1e9;
        case 't':
            return 1e12;
        default:
            return 1.0;
    }
}

}  // namespace

bool ParseSpiceNumber(std::string_view text, double& value) {
    const std::string t = Trim(text);
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    const size_t end = ScanMantissa(t, i);
    if (end == i) return false;
    size_t j = end;
    while (j < t.size() && IsAlpha(t[j])) ++j;
    if (j != t.size()) return false;
    value =
        std::strtod(t.substr(0, end).c_str(), nullptr) * ScaleOf(std::string_view(t).substr(end));
    return std::isfinite(value);
}

namespace {

// ---------------------------------------------------------------------------
// PARAM expressions: numbers, names of earlier measurements, + - * / ^,
// parentheses and a few functions.

class ParamParser {
public:
    // `lookup` gives a name's value or sets `failure` and returns NaN.
    ParamParser(std::string_view text, std::function<double(const std::string&)> lookup)
        : t_(text), lookup_(std::move(lookup)) {}

    // The value, or NaN with Error() telling why; Position() from 0 for syntax errors.
    double Run() {
        const double v = Sum();
        Skip();
        if (error_.empty() && pos_ < t_.size())
            Fail("unexpected '" + std::string(1, t_[pos_]) + "'");
        return error_.empty() ? v : kNaN;
    }
    const std::string& Error() const { return error_; }
    bool Syntax() const { return syntax_; }
    size_t Position() const { return errorPos_; }
    void FailName(const std::string& message) {
        if (error_.empty()) {
            error_ = message;
            syntax_ = false;
        }
    }

private:
    void Skip() {
        while (pos_ < t_.size() && std::isspace(static_cast<unsigned char>(t_[pos_]))) ++pos_;
    }
    void Fail(const std::string& message) {
        if (!error_.empty()) return;
        error_ = message;
        errorPos_ = pos_;
    }
    bool Eat(char c) {
        Skip();
        if (pos_ < t_.size() && t_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    double Sum() {
        double v = Product();
        for (;;) {
            if (Eat('+'))
                v += Product();
            else if (Eat('-'))
                v -= Product();
            else
                return v;
        }
    }
    double Product() {
        double v = Unary();
        for (;;) {
            if (Eat('*'))
                v *= Unary();
            else if (Eat('/'))
                v /= Unary();
            else
                return v;
        }
    }
    double Unary() {
        if (Eat('-')) return -Unary();
        if (Eat('+')) return Unary();
        return Power();
    }
    double Power() {
        const double base = Atom();
        // Right-associative, and binds tighter than a sign on its left.
        if (Eat('^')) return std::pow(base, Unary());
        return base;
    }
    double Atom() {
        Skip();
        if (!error_.empty()) return kNaN;
        if (pos_ >= t_.size()) {
            Fail("the expression ends too soon");
            return kNaN;
        }
        const char c = t_[pos_];
        if (c == '(') {
            ++pos_;
            const double v = Sum();
            if (!Eat(')')) Fail("missing ')'");
            return v;
        }
        if (IsDigit(c) || c == '.') {
            const size_t start = pos_;
            const size_t end = ScanMantissa(t_, pos_);
            if (end == pos_) {
                Fail("not a number");
                return kNaN;
            }
            size_t j = end;
            while (j < t_.size() && IsAlpha(t_[j])) ++j;
            pos_ = j;
            return std::strtod(std::string(t_.substr(start, end - start)).c_str(), nullptr) *
                   ScaleOf(t_.substr(end, j - end));
        }
        if (IsAlpha(c) || c == '_') {
            const size_t start = pos_;
            while (pos_ < t_.size() &&
                   (IsWordChar(t_[pos_]) || t_[pos_] == '.' || t_[pos_] == '#' || t_[pos_] == ':'))
                ++pos_;
            const std::string word(t_.substr(start, pos_ - start));
            const std::string lw = Lower(word);
            Skip();
            if (pos_ < t_.size() && t_[pos_] == '(') {
                ++pos_;
                std::vector<double> args{Sum()};
                while (Eat(',')) args.push_back(Sum());
                if (!Eat(')')) {
                    Fail("missing ')'");
                    return kNaN;
                }
                return Call(lw, args, start);
            }
            return lookup_(word);
        }
        Fail("unexpected '" + std::string(1, c) + "'");
        return kNaN;
    }
    double Call(const std::string& f, const std::vector<double>& a, size_t at) {
        using Fn1 = double (*)(double);
        static const std::pair<const char*, Fn1> kOne[] = {
            {"abs", [](double x) { return std::fabs(x); }},
            {"sqrt", [](double x) { return std::sqrt(x); }},
            {"exp", [](double x) { return std::exp(x); }},
            {"log", [](double x) { return std::log(x); }},
            {"ln", [](double x) { return std::log(x); }},
            {"log10", [](double x) { return std::log10(x); }},
            {"sin", [](double x) { return std::sin(x); }},
            {"cos", [](double x) { return std::cos(x); }},
        };
        for (const auto& [name, fn] : kOne) {
            if (f != name) continue;
            if (a.size() != 1) break;
            return fn(a[0]);
        }
        if ((f == "min" || f == "max") && a.size() == 2)
            return f == "min" ? std::min(a[0], a[1]) : std::max(a[0], a[1]);
        if (error_.empty()) {
            error_ = "unknown function " + f + " or wrong number of arguments";
            errorPos_ = at;
        }
        return kNaN;
    }

    std::string_view t_;
    size_t pos_ = 0;
    std::function<double(const std::string&)> lookup_;
    std::string error_;
    size_t errorPos_ = 0;
    bool syntax_ = true;
};

// ---------------------------------------------------------------------------
// Parsing

struct Token {
    std::string text;
    size_t pos = 0;        // in the joined statement
    bool grouped = false;  // came in quotes or braces
    bool Is(const char* word) const { return !grouped && Lower(text) == word; }
    bool IsEquals() const { return !grouped && text == "="; }
};

struct Statement {
    std::string text;
    std::vector<std::pair<int, int>> where;  // line, column of each character
    int endLine = 0, endColumn = 0;          // one past the last character
};

struct SyntaxFailure {
    size_t pos;
    std::string message;
};

class StatementParser {
public:
    StatementParser(const Statement& s, MeasScript& script) : s_(s), script_(script) {}

    // False with `error` set on a syntax error.
    bool Parse(MeasSyntaxError& error) {
        try {
            Tokenize();
            ParseTokens();
            return true;
        } catch (const SyntaxFailure& f) {
            if (f.pos < s_.where.size()) {
                error.line = s_.where[f.pos].first;
                error.column = s_.where[f.pos].second;
            } else {
                error.line = s_.endLine;
                error.column = s_.endColumn;
            }
            error.message = f.message;
            return false;
        }
    }

private:
    [[noreturn]] void Fail(size_t pos, std::string message) {
        throw SyntaxFailure{pos, std::move(message)};
    }

    void Tokenize() {
        const std::string& t = s_.text;
        size_t i = 0;
        while (i < t.size()) {
            const char c = t[i];
            if (std::isspace(static_cast<unsigned char>(c)) || c == ',') {
                ++i;
            } else if (c == '=') {
                tokens_.push_back({"=", i, false});
                ++i;
            } else if (c == '\'' || c == '"') {
                const size_t close = t.find(c, i + 1);
                if (close == std::string::npos) Fail(i, "unbalanced quote");
                tokens_.push_back({t.substr(i + 1, close - i - 1), i + 1, true});
                i = close + 1;
            } else if (c == '{') {
                int depth = 0;
                size_t j = i;
                for (; j < t.size(); ++j) {
                    if (t[j] == '{') ++depth;
                    if (t[j] == '}' && --depth == 0) break;
                }
                if (j >= t.size()) Fail(i, "unbalanced brace");
                tokens_.push_back({t.substr(i + 1, j - i - 1), i + 1, true});
                i = j + 1;
            } else if (c == '}') {
                Fail(i, "unbalanced brace");
            } else {
                const size_t start = i;
                int depth = 0;
                for (; i < t.size(); ++i) {
                    const char d = t[i];
                    if (d == '(') ++depth;
                    if (d == ')' && --depth < 0) Fail(i, "unbalanced parenthesis");
                    if (depth == 0 && (std::isspace(static_cast<unsigned char>(d)) || d == '=' ||
                                       d == '\'' || d == '"' || d == '{' || d == '}'))
                        break;
                }
                if (depth > 0) Fail(start, "unbalanced parenthesis");
                tokens_.push_back({t.substr(start, i - start), start, false});
            }
        }
    }

    bool More() const { return k_ < tokens_.size(); }
    const Token& Peek() const { return tokens_[k_]; }
    size_t Here() const { return More() ? Peek().pos : s_.text.size(); }

    static bool IsKindWord(const Token& t) {
        static const char* kWords[] = {"avg",   "rms",      "min",        "max",  "pp",
                                       "integ", "integral", "find",       "when", "trig",
                                       "targ",  "deriv",    "derivative", "param"};
        for (const char* w : kWords)
            if (t.Is(w)) return true;
        return false;
    }

    // A value after "KEY": "=" and a token.
    const Token& Value(const Token& key) {
        if (!More() || !Peek().IsEquals())
            Fail(Here(), "missing '=' and a value after " + Upper(key.text));
        ++k_;
        if (!More() || Peek().IsEquals())
            Fail(Here(), "missing a value after " + Upper(key.text) + "=");
        return tokens_[k_++];
    }

    double Number(const Token& key) {
        const Token& v = Value(key);
        double x = 0;
        if (!ParseSpiceNumber(v.text, x)) Fail(v.pos, "'" + v.text + "' is not a number");
        return x;
    }

    std::string Expression(const char* what) {
        if (!More() || Peek().IsEquals()) Fail(Here(), std::string("missing ") + what);
        return Trim(tokens_[k_++].text);
    }

    void Crossing(const Token& key, MeasCrossing& c) {
        if (key.Is("td")) {
            c.td = Number(key);
            return;
        }
        c.edge = key.Is("rise")   ? MeasCrossing::Edge::Rise
                 : key.Is("fall") ? MeasCrossing::Edge::Fall
                                  : MeasCrossing::Edge::Cross;
        const Token& v = Value(key);
        if (Lower(v.text) == "last") {
            c.count = 0;
            return;
        }
        double n = 0;
        if (!ParseSpiceNumber(v.text, n) || n < 1 || n != std::floor(n) || n > 1e9)
            Fail(v.pos, Upper(key.text) + " takes a positive whole number or LAST");
        c.count = static_cast<int>(n);
    }

    static bool IsCrossingKey(const Token& t) {
        return t.Is("rise") || t.Is("fall") || t.Is("cross") || t.Is("td");
    }

    // After TRIG or TARG: AT=x, or EXPR VAL=v and crossing options.
    MeasPoint TrigPoint(const Token& keyword) {
        MeasPoint p;
        if (More() && Peek().Is("at")) {
            const Token& key = tokens_[k_++];
            p.at = Number(key);
            return p;
        }
        p.expr = Expression("an expression after TRIG/TARG");
        bool val = false;
        while (More()) {
            const Token& key = Peek();
            if (key.Is("val")) {
                ++k_;
                p.level = Number(key);
                val = true;
            } else if (IsCrossingKey(key)) {
                ++k_;
                Crossing(key, p.crossing);
            } else {
                break;
            }
        }
        if (!val) Fail(Here(), Upper(keyword.text) + " " + p.expr + " needs VAL=");
        return p;
    }

    // After WHEN: EXPR=VAL or EXPR=EXPR2 and crossing options.
    MeasPoint WhenPoint() {
        MeasPoint p;
        p.expr = Expression("an expression after WHEN");
        const Token key{"WHEN " + p.expr, Here(), false};
        const Token& v = Value(key);
        double x = 0;
        if (ParseSpiceNumber(v.text, x)) {
            p.level = x;
        } else {
            const char c = v.text.empty() ? ' ' : v.text[0];
            if (!v.grouped && (IsDigit(c) || c == '.' ||
                               ((c == '-' || c == '+') && v.text.size() > 1 &&
                                (IsDigit(v.text[1]) || v.text[1] == '.'))))
                Fail(v.pos, "'" + v.text + "' is not a number");
            p.expr2 = Trim(v.text);
        }
        while (More() && IsCrossingKey(Peek())) {
            const Token& k = tokens_[k_++];
            Crossing(k, p.crossing);
        }
        return p;
    }

    // AT=x or WHEN ... of FIND and DERIV.
    MeasPoint AtOrWhen(const std::string& kind) {
        if (More() && Peek().Is("at")) {
            const Token& key = tokens_[k_++];
            MeasPoint p;
            p.at = Number(key);
            return p;
        }
        if (More() && Peek().Is("when")) {
            ++k_;
            return WhenPoint();
        }
        Fail(Here(), kind + " needs AT= or WHEN");
    }

    void Rest(const std::string& name) {
        if (More()) Fail(Here(), "unexpected '" + Peek().text + "' in " + name);
    }

    void ParseTokens() {
        if (tokens_.empty()) return;
        const Token& first = tokens_[0];
        if (!(first.Is(".meas") || first.Is(".measure") || first.Is("meas") || first.Is("measure")))
            Fail(first.pos, "expected .meas or .measure");
        k_ = 1;
        MeasStatement st;
        st.line = s_.where.empty() ? 0 : s_.where[0].first;
        if (More()) {
            const Token& a = Peek();
            if (a.Is("tran") || a.Is("ac") || a.Is("dc")) {
                st.analysis = a.Is("tran") ? MeasAnalysis::Tran
                              : a.Is("ac") ? MeasAnalysis::Ac
                                           : MeasAnalysis::Dc;
                ++k_;
            } else if ((a.Is("noise") || a.Is("sp") || a.Is("op") || a.Is("tf") || a.Is("disto") ||
                        a.Is("pz") || a.Is("sens")) &&
                       k_ + 1 < tokens_.size() && !tokens_[k_ + 1].IsEquals()) {
                script_.unsupported.push_back(
                    {st.line, tokens_[k_ + 1].text,
                     "." + Lower(a.text) + " results are not measured (tran, ac and dc are)"});
                return;
            }
        }
        if (!More() || Peek().IsEquals() || Peek().grouped ||
            (IsKindWord(Peek()) && (k_ + 1 >= tokens_.size() || !IsKindWord(tokens_[k_ + 1]))))
            Fail(Here(), "the statement has no name");
        st.name = tokens_[k_++].text;
        if (!More()) Fail(Here(), "missing the kind of measurement after " + st.name);
        const Token& kind = tokens_[k_++];
        const std::string kw = Lower(kind.text);
        if (kw == "avg" || kw == "rms" || kw == "min" || kw == "max" || kw == "pp" ||
            kw == "integ" || kw == "integral") {
            st.kind = kw == "avg"   ? MeasKind::Avg
                      : kw == "rms" ? MeasKind::Rms
                      : kw == "min" ? MeasKind::Min
                      : kw == "max" ? MeasKind::Max
                      : kw == "pp"  ? MeasKind::Pp
                                    : MeasKind::Integ;
            st.expr = Expression("the expression to measure");
            while (More()) {
                const Token& key = tokens_[k_++];
                if (key.Is("from"))
                    st.from = Number(key);
                else if (key.Is("to"))
                    st.to = Number(key);
                else if (key.Is("trig"))
                    st.trig = TrigPoint(key);
                else if (key.Is("targ"))
                    st.targ = TrigPoint(key);
                else
                    Fail(key.pos, "unexpected '" + key.text + "' in " + st.name);
            }
        } else if (kw == "find" || kw == "deriv" || kw == "derivative") {
            st.expr = Expression("the expression to measure");
            st.point = AtOrWhen(Upper(kind.text));
            const bool at = st.point->at.has_value();
            st.kind = kw == "find" ? (at ? MeasKind::FindAt : MeasKind::FindWhen)
                                   : (at ? MeasKind::DerivAt : MeasKind::DerivWhen);
            Rest(st.name);
        } else if (kw == "when") {
            st.kind = MeasKind::When;
            st.point = WhenPoint();
            Rest(st.name);
        } else if (kw == "trig") {
            st.kind = MeasKind::TrigTarg;
            st.trig = TrigPoint(kind);
            if (!More() || !Peek().Is("targ")) Fail(Here(), st.name + " needs TARG after TRIG");
            const Token& targ = tokens_[k_++];
            st.targ = TrigPoint(targ);
            Rest(st.name);
        } else if (kw == "param") {
            st.kind = MeasKind::Param;
            if (!More() || !Peek().IsEquals()) Fail(Here(), "missing '=' after PARAM");
            ++k_;
            if (!More()) Fail(Here(), "missing the PARAM expression");
            const size_t at = Peek().pos;
            if (Peek().grouped) {
                st.param = tokens_[k_++].text;
                Rest(st.name);
            } else {
                st.param = s_.text.substr(at);
                k_ = tokens_.size();
            }
            ParamParser check(st.param, [](const std::string&) { return 1.0; });
            check.Run();
            if (!check.Error().empty()) Fail(at + check.Position(), check.Error());
        } else if (kw == "err" || kw == "err1" || kw == "err2" || kw == "err3") {
            script_.unsupported.push_back(
                {st.line, st.name,
                 Upper(kind.text) + " (the error between two curves) is not measured"});
            return;
        } else {
            script_.unsupported.push_back(
                {st.line, st.name, "unknown kind of measurement " + Upper(kind.text)});
            return;
        }
        script_.statements.push_back(std::move(st));
    }

    const Statement& s_;
    MeasScript& script_;
    std::vector<Token> tokens_;
    size_t k_ = 0;
};

}  // namespace

bool ParseMeasScript(const std::vector<MeasSourceLine>& lines, MeasScript& script,
                     MeasSyntaxError& error) {
    script = MeasScript{};
    std::vector<Statement> statements;
    for (const MeasSourceLine& line : lines) {
        const std::string& t = line.text;
        size_t first = 0;
        while (first < t.size() && std::isspace(static_cast<unsigned char>(t[first]))) ++first;
        if (first >= t.size() || t[first] == '*') continue;
        // A ';' starts a comment unless it is inside quotes.
        size_t end = t.size();
        char quote = 0;
        for (size_t i = first; i < t.size(); ++i) {
            if (quote) {
                if (t[i] == quote) quote = 0;
            } else if (t[i] == '\'' || t[i] == '"') {
                quote = t[i];
            } else if (t[i] == ';') {
                end = i;
                break;
            }
        }
        size_t from = first;
        if (t[first] == '+') {
            if (statements.empty()) {
                error = {line.line, static_cast<int>(first) + 1,
                         "a continuation line with no statement before it"};
                return false;
            }
            from = first + 1;
        } else {
            statements.emplace_back();
        }
        Statement& s = statements.back();
        if (!s.text.empty()) {
            s.text.push_back(' ');
            s.where.emplace_back(line.line, static_cast<int>(from) + 1);
        }
        for (size_t i = from; i < end; ++i) {
            s.text.push_back(t[i]);
            s.where.emplace_back(line.line, static_cast<int>(i) + 1);
        }
        s.endLine = line.line;
        s.endColumn = static_cast<int>(end) + 1;
    }
    for (const Statement& s : statements) {
        if (Trim(s.text).empty()) continue;
        StatementParser parser(s, script);
        if (!parser.Parse(error)) {
            script = MeasScript{};
            return false;
        }
    }
    return true;
}

namespace {

// ---------------------------------------------------------------------------
// Evaluation

// The samples of one expression over the run: valid samples only, X rising.
struct Series {
    const double* x = nullptr;
    const double* y = nullptr;
    size_t n = 0;
    std::string error;
    RefPtr<CResultVariable> keep;
    std::vector<double> xs, ys;  // when invalid samples had to be left out
};

// Where a level (or 0 of a difference) is crossed.
double CrossAt(const Series& s, size_t i, double level) {
    const double y0 = s.y[i - 1] - level, y1 = s.y[i] - level;
    if (y1 == 0.0) return s.x[i];
    return s.x[i - 1] + (s.x[i] - s.x[i - 1]) * (-y0) / (y1 - y0);
}

class RunEvaluator {
public:
    RunEvaluator(const CResultDataRef& data, std::int32_t run) : data_(data), run_(run) {
        set_ = data.Get() ? data->Run(run) : nullptr;
        if (!set_ || set_->VariableCount() == 0) return;
        for (std::int32_t i = 0; i < set_->VariableCount(); ++i) {
            const std::string& name = set_->Variable(i)->Name();
            if (!name.empty()) names_.emplace(Upper(Trim(name)), i);
        }
        const std::string x = Lower(set_->Variable(0)->Name());
        if (x.rfind("time", 0) == 0)
            kind_ = MeasAnalysis::Tran;
        else if (x.rfind("freq", 0) == 0)
            kind_ = MeasAnalysis::Ac;
        else
            kind_ = MeasAnalysis::Dc;
    }

    MeasValue Evaluate(const MeasStatement& st, const std::vector<MeasValue>& done,
                       const std::vector<const MeasStatement*>& before) {
        MeasValue v;
        if (!set_) {
            v.error = "the result has no run " + std::to_string(run_ + 1);
            return v;
        }
        if (set_->VariableCount() == 0 || set_->RowCount() < 2) {
            v.error = "the run has no samples to measure";
            return v;
        }
        if (st.analysis != MeasAnalysis::Any && st.analysis != kind_) {
            static const char* kWords[] = {"", "tran", "ac", "dc"};
            v.error = std::string("a .meas ") + kWords[static_cast<int>(st.analysis)] +
                      " statement over a " + kWords[static_cast<int>(kind_)] + " result";
            return v;
        }
        switch (st.kind) {
            case MeasKind::Param:
                Param(st, done, before, v);
                break;
            case MeasKind::TrigTarg:
                TrigTarg(st, v);
                break;
            case MeasKind::When: {
                double x = 0;
                if (Locate(*st.point, x, v.error)) v.value = v.at = x;
                break;
            }
            case MeasKind::FindAt:
            case MeasKind::FindWhen:
            case MeasKind::DerivAt:
            case MeasKind::DerivWhen:
                FindOrDeriv(st, v);
                break;
            default:
                Window(st, v);
                break;
        }
        if (v.Ok() && v.value && !std::isfinite(*v.value))
            v.error = "the result is not a finite number";
        if (!v.Ok()) v.value.reset();
        return v;
    }

private:
    // The variable named `name`, ignoring case, or empty.
    std::string Find(const std::string& name) const {
        const auto it = names_.find(Upper(Trim(name)));
        return it == names_.end() ? std::string() : set_->Variable(it->second)->Name();
    }

    enum class Part { Plain, Db, Mag, Phase, Re, Im };

    // A node or branch of v(...) / i(...) in the formula's names, or empty.
    std::string Quantity(char vi, const std::string& node, Part part) const {
        std::vector<std::string> bases;
        if (vi == 'v')
            bases = {"V(" + node + ")", node};
        else
            bases = {"I(" + node + ")", node + "#branch", node};
        if (part == Part::Plain) {
            for (const auto& b : bases)
                if (auto n = Find(b); !n.empty()) return n;
            part = Part::Mag;  // a complex variable measures by its magnitude
        }
        for (const auto& b : bases) {
            const std::string amp = Find("amp(" + b + ")");
            const std::string phase = Find("phase(" + b + ")");
            if (!amp.empty()) {
                const std::string mag = "(10^((" + amp + ")/20))";
                const std::string rad = "((" + phase + ")*0.017453292519943295)";
                switch (part) {
                    case Part::Db:
                        return amp;
                    case Part::Mag:
                        return mag;
                    case Part::Phase:
                        return phase;
                    case Part::Re:
                        return phase.empty() ? "" : "(" + mag + "*COS(" + rad + "))";
                    case Part::Im:
                        return phase.empty() ? "" : "(" + mag + "*SIN(" + rad + "))";
                    default:
                        break;
                }
            }
            if (const std::string real = Find(b); !real.empty()) {
                switch (part) {
                    case Part::Db:
                        return "(20*LOG10(ABS(" + real + ")))";
                    case Part::Mag:
                        return "ABS(" + real + ")";
                    case Part::Re:
                        return real;
                    default:
                        break;
                }
            }
        }
        return {};
    }

    // SPICE spellings of `text` in the formula's own names; `origin` maps
    // each character of the result to one of `text`.
    std::string Rewrite(const std::string& text, std::vector<size_t>& origin) const {
        std::string out;
        origin.clear();
        const auto emit = [&](const std::string& s, size_t at) {
            out += s;
            origin.insert(origin.end(), s.size(), at);
        };
        size_t i = 0;
        while (i < text.size()) {
            const char c = text[i];
            const bool wordStart = i == 0 || !(IsWordChar(text[i - 1]) || text[i - 1] == '.' ||
                                               text[i - 1] == '#' || text[i - 1] == ':');
            if (wordStart && (IsAlpha(c) || c == '_')) {
                size_t j = i;
                while (j < text.size() && IsWordChar(text[j])) ++j;
                const std::string word = Lower(std::string_view(text).substr(i, j - i));
                static const std::pair<const char*, Part> kFns[] = {
                    {"v", Part::Plain},  {"i", Part::Plain},  {"vdb", Part::Db}, {"vm", Part::Mag},
                    {"vp", Part::Phase}, {"vr", Part::Re},    {"vi", Part::Im},  {"idb", Part::Db},
                    {"im", Part::Mag},   {"ip", Part::Phase}, {"ir", Part::Re},  {"ii", Part::Im}};
                const Part* part = nullptr;
                for (const auto& f : kFns)
                    if (word == f.first) part = &f.second;
                if (part && j < text.size() && text[j] == '(') {
                    int depth = 0;
                    size_t k = j;
                    for (; k < text.size(); ++k) {
                        if (text[k] == '(') ++depth;
                        if (text[k] == ')' && --depth == 0) break;
                    }
                    if (k < text.size()) {
                        const std::string whole = text.substr(i, k + 1 - i);
                        std::string replaced = Find(whole);
                        if (replaced.empty()) {
                            const std::string args = text.substr(j + 1, k - j - 1);
                            const size_t comma = args.find(',');
                            const char vi = word[0];
                            if (comma == std::string::npos) {
                                replaced = Quantity(vi, Trim(args), *part);
                            } else if (vi == 'v') {
                                const std::string a =
                                    Quantity(vi, Trim(args.substr(0, comma)), *part);
                                const std::string b =
                                    Quantity(vi, Trim(args.substr(comma + 1)), *part);
                                if (!a.empty() && !b.empty()) replaced = "(" + a + "-" + b + ")";
                            }
                        }
                        emit(replaced.empty() ? whole : replaced, i);
                        i = k + 1;
                        continue;
                    }
                }
                emit(text.substr(i, j - i), i);
                for (size_t q = i; q < j; ++q) origin[origin.size() - (j - q)] = q;
                i = j;
                continue;
            }
            if (wordStart &&
                (IsDigit(c) || (c == '.' && i + 1 < text.size() && IsDigit(text[i + 1])))) {
                const size_t end = ScanMantissa(text, i);
                size_t j = end;
                while (j < text.size() && IsAlpha(text[j])) ++j;
                if (j > end && (j >= text.size() || !IsWordChar(text[j])) &&
                    Find(text.substr(i, j - i)).empty()) {
                    // The formula knows no scale letters: 10u goes in as a plain number.
                    const double v = std::strtod(text.substr(i, end - i).c_str(), nullptr) *
                                     ScaleOf(std::string_view(text).substr(end, j - end));
                    emit("(" + FormatNumber(v) + ")", i);
                    i = j;
                    continue;
                }
            }
            emit(std::string(1, c), i);
            ++i;
        }
        return out;
    }

    // The samples of `expr`, built once per run.
    const Series& Get(const std::string& expr) {
        const auto found = cache_.find(expr);
        if (found != cache_.end()) return found->second;
        Series& s = cache_[expr];
        std::vector<size_t> origin;
        const std::string text = Rewrite(Trim(expr), origin);
        const CResultVariable* xv = set_->Variable(0);
        const CResultVariable* yv = nullptr;
        bool anyInvalid = false;
        const auto direct = names_.find(Upper(Trim(text)));
        if (direct != names_.end()) {
            yv = set_->Variable(direct->second);
        } else {
            FormulaBuildOptions options;
            options.run = run_;
            FormulaBuild b = BuildFormulaVariable(data_, text, options);
            if (!b.variable) {
                const size_t lead = std::min(text.find_first_not_of(" \t"), text.size());
                size_t p = static_cast<size_t>(std::max(0, b.error.position)) + lead;
                const size_t at = p < origin.size() ? origin[p] : Trim(expr).size();
                s.error = "'" + Trim(expr) + "' at character " + std::to_string(at + 1) + ": " +
                          (b.error.message.empty() ? std::string("not a formula over this result")
                                                   : b.error.message);
                return s;
            }
            s.keep = b.variable;
            anyInvalid = b.anyInvalid;
            yv = s.keep.get();
        }
        const std::int32_t rows = set_->RowCount();
        const std::uint8_t* xf = xv->Flags();
        const std::uint8_t* yf = yv->Flags();
        if (!xValid_) xValid_ = AllValid(xf, rows);
        const bool all = *xValid_ && !anyInvalid && (s.keep || AllValid(yf, rows));
        if (all) {
            s.x = xv->Values();
            s.y = yv->Values();
            s.n = static_cast<size_t>(rows);
        } else {
            for (std::int32_t r = 0; r < rows; ++r) {
                if (xf[r] != kPointValid || yf[r] != kPointValid) continue;
                s.xs.push_back(xv->Values()[r]);
                s.ys.push_back(yv->Values()[r]);
            }
            s.x = s.xs.data();
            s.y = s.ys.data();
            s.n = s.xs.size();
        }
        if (s.n < 2) {
            s.error = "'" + Trim(expr) + "' has fewer than 2 valid samples";
        } else if (!Rises(s, s.x == xv->Values())) {
            // Searches bisect X and windows add its steps.
            s.error = "X (" + XName() + ") falls somewhere in this run; it must rise";
        }
        return s;
    }

    // X of every sample valid is checked once a run.
    bool Rises(const Series& s, bool wholeX) {
        if (wholeX && xRises_) return *xRises_;
        const bool rises = std::adjacent_find(s.x, s.x + s.n, std::greater<double>()) == s.x + s.n;
        if (wholeX) xRises_ = rises;
        return rises;
    }

    static bool AllValid(const std::uint8_t* flags, std::int32_t rows) {
        // No early exit: the whole scan vectorises and is faster than stopping.
        unsigned bad = 0;
        for (std::int32_t r = 0; r < rows; ++r) bad |= flags[r] ^ kPointValid;
        return bad == 0;
    }

    static bool Inside(const Series& s, double x) { return x >= s.x[0] && x <= s.x[s.n - 1]; }

    static TimeSeries Samples(const Series& s) { return {s.x, s.y, s.n}; }
    static double ValueAt(const Series& s, double x) { return SeriesValueAt(Samples(s), x); }
    static double SlopeAt(const Series& s, double x) { return SeriesSlopeAt(Samples(s), x); }

    std::string Describe(const MeasPoint& p) const {
        return p.expr2.empty() ? "'" + p.expr + "' through " + FormatNumber(p.level)
                               : "'" + p.expr + "' and '" + p.expr2 + "'";
    }

    // The x a point names: AT=, or the chosen crossing.
    bool Locate(const MeasPoint& p, double& x, std::string& error) {
        if (p.at) {
            x = *p.at;
            const Series& s = Get(XName());
            if (!s.error.empty()) {
                error = s.error;
                return false;
            }
            if (!Inside(s, x)) {
                error = "AT=" + FormatNumber(x) + " lies outside the run (" + FormatNumber(s.x[0]) +
                        " to " + FormatNumber(s.x[s.n - 1]) + ")";
                return false;
            }
            return true;
        }
        const std::string expr = p.expr2.empty() ? p.expr : "(" + p.expr + ")-(" + p.expr2 + ")";
        const Series& s = Get(expr);
        if (!s.error.empty()) {
            error = s.error;
            return false;
        }
        const double level = p.expr2.empty() ? p.level : 0.0;
        const MeasCrossing& c = p.crossing;
        const auto counts = [&](size_t i) {
            const bool below0 = s.y[i - 1] < level, below1 = s.y[i] < level;
            if (below0 == below1) return false;
            if (c.edge == MeasCrossing::Edge::Rise) return below0;
            if (c.edge == MeasCrossing::Edge::Fall) return !below0;
            return true;
        };
        int seen = 0;
        if (c.count == 0) {
            for (size_t i = s.n - 1; i >= 1; --i) {
                if (s.x[i] < c.td) break;
                if (!counts(i)) continue;
                const double at = CrossAt(s, i, level);
                if (at < c.td) break;
                x = at;
                return true;
            }
        } else {
            // From the first sample at or after TD: a crossing may land on it.
            size_t i = static_cast<size_t>(std::lower_bound(s.x, s.x + s.n, c.td) - s.x);
            i = i == 0 ? 1 : i;
            for (; i < s.n; ++i) {
                if (!counts(i)) continue;
                const double at = CrossAt(s, i, level);
                if (at < c.td) continue;
                if (++seen == c.count) {
                    x = at;
                    return true;
                }
            }
        }
        static const char* kEdges[] = {"rise", "fall", "cross"};
        error = Describe(p) + ": no " +
                (c.count == 0 ? std::string("") : "#" + std::to_string(c.count) + " ") +
                kEdges[static_cast<int>(c.edge)] +
                (c.td > 0 ? " after TD=" + FormatNumber(c.td) : std::string()) + " (found " +
                std::to_string(seen) + ")";
        return false;
    }

    std::string XName() const { return set_->Variable(0)->Name(); }

    void TrigTarg(const MeasStatement& st, MeasValue& v) {
        double a = 0, b = 0;
        if (!Locate(*st.trig, a, v.error)) {
            v.error = "TRIG " + v.error;
            return;
        }
        v.trig = a;
        if (!Locate(*st.targ, b, v.error)) {
            v.error = "TARG " + v.error;
            return;
        }
        v.targ = b;
        v.value = b - a;
    }

    void FindOrDeriv(const MeasStatement& st, MeasValue& v) {
        double x = 0;
        if (!Locate(*st.point, x, v.error)) return;
        const Series& s = Get(st.expr);
        if (!s.error.empty()) {
            v.error = s.error;
            return;
        }
        if (!Inside(s, x)) {
            v.error = "x=" + FormatNumber(x) + " lies outside the samples of '" + st.expr + "'";
            return;
        }
        v.at = x;
        const bool deriv = st.kind == MeasKind::DerivAt || st.kind == MeasKind::DerivWhen;
        v.value = deriv ? SlopeAt(s, x) : ValueAt(s, x);
    }

    void Window(const MeasStatement& st, MeasValue& v) {
        const Series& s = Get(st.expr);
        if (!s.error.empty()) {
            v.error = s.error;
            return;
        }
        double x1 = s.x[0], x2 = s.x[s.n - 1];
        if (st.from) x1 = *st.from;
        if (st.to) x2 = *st.to;
        if (st.trig) {
            if (!Locate(*st.trig, x1, v.error)) {
                v.error = "TRIG " + v.error;
                return;
            }
            v.trig = x1;
        }
        if (st.targ) {
            if (!Locate(*st.targ, x2, v.error)) {
                v.error = "TARG " + v.error;
                return;
            }
            v.targ = x2;
        }
        if (!Inside(s, x1) || !Inside(s, x2)) {
            v.error = "the window " + FormatNumber(x1) + " to " + FormatNumber(x2) +
                      " reaches outside the run (" + FormatNumber(s.x[0]) + " to " +
                      FormatNumber(s.x[s.n - 1]) + ")";
            return;
        }
        if (x2 < x1) {
            v.error = "the window ends (" + FormatNumber(x2) + ") before it starts (" +
                      FormatNumber(x1) + ")";
            return;
        }
        const MeasureId id = st.kind == MeasKind::Avg   ? MeasureId::TimeAvg
                             : st.kind == MeasKind::Rms ? MeasureId::TimeRms
                             : st.kind == MeasKind::Min ? MeasureId::WindowMin
                             : st.kind == MeasKind::Max ? MeasureId::WindowMax
                             : st.kind == MeasKind::Pp  ? MeasureId::PeakToPeak
                                                        : MeasureId::Integral;
        const MeasureOutcome o = SeriesWindowFigure(id, Samples(s), x1, x2);
        v.value = o.value;
        v.at = o.at;
        v.error = o.error;
    }

    void Param(const MeasStatement& st, const std::vector<MeasValue>& done,
               const std::vector<const MeasStatement*>& before, MeasValue& v) {
        ParamParser* self = nullptr;
        ParamParser p(st.param, [&](const std::string& name) {
            const std::string key = Upper(name);
            for (size_t k = before.size(); k-- > 0;) {
                if (Upper(before[k]->name) != key) continue;
                if (!done[k].Ok() || !done[k].value) {
                    self->FailName("uses " + before[k]->name + ", which failed");
                    return kNaN;
                }
                return *done[k].value;
            }
            self->FailName("no earlier measurement named " + name);
            return kNaN;
        });
        self = &p;
        const double value = p.Run();
        if (!p.Error().empty())
            v.error = p.Error();
        else
            v.value = value;
    }

    CResultDataRef data_;
    std::int32_t run_;
    const CResultData* set_ = nullptr;
    MeasAnalysis kind_ = MeasAnalysis::Any;
    std::unordered_map<std::string, std::int32_t> names_;
    std::unordered_map<std::string, Series> cache_;
    std::optional<bool> xValid_, xRises_;
};

}  // namespace

std::vector<MeasValue> EvaluateMeasScript(const MeasScript& script, const CResultDataRef& data,
                                          std::int32_t run) {
    RunEvaluator evaluator(data, run);
    std::vector<MeasValue> out;
    std::vector<const MeasStatement*> before;
    out.reserve(script.statements.size());
    for (const MeasStatement& st : script.statements) {
        out.push_back(evaluator.Evaluate(st, out, before));
        before.push_back(&st);
    }
    return out;
}

}  // namespace kurvex
