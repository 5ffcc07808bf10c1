#include "data/formats/ModelicaResultFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>

#include "data/formats/BinaryReading.h"
#include "data/platform/ByteSource.h"
#include "data/platform/NameText.h"
#include "data/platform/NumberText.h"
#include "data/platform/Workers.h"

namespace kurvex {

namespace {

// Bytes per value of the precision digit P of a level-4 type.
constexpr int kWidths[] = {8, 4, 4, 2, 2, 1};
// What LooksLike reads at most to see Aclass's first text.
constexpr std::int64_t kProbeBytes = 4096;
// The longest matrix name taken: the format's own are a few letters.
constexpr std::uint32_t kMaxMatrixName = 256;
// Constants and skipped names listed one a line; the rest are counted.
constexpr size_t kMaxParameterNotes = 200;
// Values converted at once.
constexpr std::int64_t kChunkValues = 1 << 16;

// One level-4 matrix: a 20-byte header, the name, the real then the imaginary
// values, column after column.
struct Matrix {
    std::string name;
    bool big = false;   // big-endian values
    int precision = 0;  // 0 double, 1 float, 2 int32, 3 int16, 4 uint16, 5 uint8
    int kind = 0;       // 0 numbers, 1 text, 2 sparse
    bool complex = false;
    std::int64_t rows = 0;
    std::int64_t cols = 0;
    std::int64_t at = 0;   // where the values begin
    std::int64_t end = 0;  // where the next matrix begins

    int Width() const { return kWidths[precision]; }
    std::int64_t Count() const { return rows * cols; }
};

std::uint32_t Word(const unsigned char* b, bool big) {
    return big ? std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 |
                     b[3]
               : std::uint32_t(b[3]) << 24 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[1]) << 8 |
                     b[0];
}

template <class T>
void ConvertAs(const char* src, std::int64_t n, bool big, double* out) {
    for (std::int64_t i = 0; i < n; ++i) {
        unsigned char b[sizeof(T)];
        std::memcpy(b, src + i * std::int64_t(sizeof(T)), sizeof(T));
        if (big) std::reverse(b, b + sizeof(T));
        T v;
        std::memcpy(&v, b, sizeof(T));
        out[i] = static_cast<double>(v);
    }
}

// `n` values of `m`'s type at `src` as doubles.
void Convert(const Matrix& m, const char* src, std::int64_t n, double* out) {
    switch (m.precision) {
        case 0:
            ConvertAs<double>(src, n, m.big, out);
            break;
        case 1:
            ConvertAs<float>(src, n, m.big, out);
            break;
        case 2:
            ConvertAs<std::int32_t>(src, n, m.big, out);
            break;
        case 3:
            ConvertAs<std::int16_t>(src, n, m.big, out);
            break;
        case 4:
            ConvertAs<std::uint16_t>(src, n, m.big, out);
            break;
        default:
            ConvertAs<std::uint8_t>(src, n, m.big, out);
            break;
    }
}

// Why the matrix at `at` of `source` (of `size` bytes) cannot be read, or
// empty when `m` now describes it. Its values are known to lie in the file.
std::string ParseMatrix(const ByteSource& source, std::int64_t size, std::int64_t at, Matrix& m) {
    unsigned char h[20];
    if (size - at < 20)
        return Format("the file ends %lld bytes into its header",
                      static_cast<long long>(size - at));
    if (source.ReadAt(at, reinterpret_cast<char*>(h), 20) != 20) return "its header is unreadable";
    // The thousands digit gives the byte order: 0 little-endian, 1 big-endian.
    std::uint32_t type = Word(h, false);
    m.big = type >= 1000;
    if (m.big) type = Word(h, true);
    if (type / 1000 != (m.big ? 1u : 0u) || type / 100 % 10 != 0 || type / 10 % 10 > 5 ||
        type % 10 > 2)
        return Format("its type %u is none of level 4's", type);
    m.precision = static_cast<int>(type / 10 % 10);
    m.kind = static_cast<int>(type % 10);
    const std::uint32_t imag = Word(h + 12, m.big);
    const std::uint32_t nameBytes = Word(h + 16, m.big);
    if (imag > 1) return Format("its imaginary flag is %u", imag);
    if (nameBytes < 1 || nameBytes > kMaxMatrixName)
        return Format("its name would be %u bytes long", nameBytes);
    if (size - at - 20 < nameBytes) return "the file ends inside its name";
    std::string name(nameBytes, '\0');
    if (source.ReadAt(at + 20, name.data(), nameBytes) != nameBytes)
        return "its name is unreadable";
    m.name = DisplayName(name.substr(0, name.find('\0')));
    m.complex = imag == 1;
    m.rows = Word(h + 4, m.big);
    m.cols = Word(h + 8, m.big);
    m.at = at + 20 + nameBytes;
    // An empty matrix may still give one side: not more than the file has bytes.
    if (m.rows > size || m.cols > size)
        return Format("its %lld x %lld values cannot be in a file of %lld bytes",
                      static_cast<long long>(m.rows), static_cast<long long>(m.cols),
                      static_cast<long long>(size));
    const std::int64_t room = size - m.at;
    const std::int64_t each = m.Width() * (m.complex ? 2 : 1);
    if (m.rows > 0 && m.cols > room / each / m.rows)
        return Format("the file ends before its %lld x %lld values", static_cast<long long>(m.rows),
                      static_cast<long long>(m.cols));
    m.end = m.at + m.Count() * each;
    return {};
}

// How the format lays out every matrix after Aclass: as it is, or transposed.
struct Layout {
    bool transposed = false;
    std::int64_t Rows(const Matrix& m) const { return transposed ? m.cols : m.rows; }
    std::int64_t Cols(const Matrix& m) const { return transposed ? m.rows : m.cols; }
    // The stored index of element (i, j).
    std::int64_t Index(const Matrix& m, std::int64_t i, std::int64_t j) const {
        return transposed ? i * m.rows + j : j * m.rows + i;
    }
};

// The strings of a text matrix, one a row (numbers holding character codes
// do too): each ends at its first NUL and loses its trailing blanks.
std::vector<std::string> Texts(const Matrix& m, const std::string& bytes, const Layout& layout) {
    std::vector<std::string> out;
    const std::int64_t rows = layout.Rows(m), cols = layout.Cols(m);
    out.reserve(static_cast<size_t>(rows));
    for (std::int64_t i = 0; i < rows; ++i) {
        std::string raw;
        for (std::int64_t j = 0; j < cols; ++j) {
            double v = 0;
            Convert(m, bytes.data() + layout.Index(m, i, j) * m.Width(), 1, &v);
            if (!(v >= 1 && v <= 0x10FFFF)) break;
            const auto code = static_cast<std::uint32_t>(v);
            // Dymola stores UTF-8 one byte an element.
            if (code < 256) {
                raw += static_cast<char>(code);
            } else {
                AppendUtf8(raw, code);
            }
        }
        while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\t')) raw.pop_back();
        out.push_back(DisplayName(raw));
    }
    return out;
}

// Aclass's texts: its strings run along its longer side.
std::vector<std::string> ClassTexts(const Matrix& m, const std::string& bytes) {
    return Texts(m, bytes, Layout{m.rows > m.cols});
}

// Where the "[unit]" a description ends with begins, or npos.
size_t UnitBracket(const std::string& description) {
    if (description.empty() || description.back() != ']') return std::string::npos;
    const size_t open = description.rfind('[');
    if (open == std::string::npos || (open > 0 && description[open - 1] != ' '))
        return std::string::npos;
    return open;
}

// The unit a description ends with, "Voltage drop [V]" giving "V"; of
// "[K|degC]" the unit the values are in, before the display unit. The
// dimensionless "1" is no unit to show.
std::string UnitOf(const std::string& description) {
    const size_t open = UnitBracket(description);
    if (open == std::string::npos) return {};
    std::string unit = description.substr(open + 1, description.size() - open - 2);
    unit = unit.substr(0, unit.find('|'));
    while (!unit.empty() && unit.back() == ' ') unit.pop_back();
    while (!unit.empty() && unit.front() == ' ') unit.erase(0, 1);
    return unit == "1" ? std::string() : unit;
}

// A description without the unit UnitOf takes from its end.
std::string WithoutUnit(const std::string& description) {
    std::string text = description.substr(0, UnitBracket(description));
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

std::string Number(double v, const Matrix& m) {
    return Format("%.*g", m.precision == 1 ? 7 : 15, v);
}

// A data set whose variables are made here: aliases borrow another's arrays.
class Builder : public CResultData {
public:
    void Adopt(CResultVariable* v) {
        v->AddRef();
        vars_.push_back(v);
    }
    void SetRows(std::int32_t rows) { rowCapacity_ = rowCount_ = rows; }
};

// A variable of the result: a column of data_2 (0 is the abscissa), maybe negated.
struct Trajectory {
    std::string name;
    std::string unit;
    std::string description;
    std::int64_t column = 0;
    bool negated = false;
};

class Reader : BinaryReading {
public:
    Reader(const std::string& path, UserMessages& messages, const BinaryReadOptions& options,
           std::vector<std::string>* notes)
        : BinaryReading(path, messages, options.progress, notes),
          path_(path),
          messages_(messages),
          options_(options) {}

    bool Run(CResultDataRef& data);

private:
    bool Walk();
    const Matrix* Find(const char* name) const;
    bool Bytes(const Matrix& m, std::string& bytes);
    bool Strings(const Matrix& m, std::vector<std::string>& out);
    bool Fill(const Matrix& data2, const std::vector<Trajectory>& all,
              const std::vector<CResultVariable*>& vars, const std::vector<bool>& owns,
              std::int64_t rows, bool& bad);

    const std::string& path_;
    UserMessages& messages_;
    const BinaryReadOptions& options_;
    FileByteSource file_;
    std::vector<Matrix> matrices_;
    Layout layout_;
};

bool Reader::Walk() {
    const std::int64_t size = file_.Size();
    for (std::int64_t at = 0; at < size;) {
        Matrix m;
        const std::string why = ParseMatrix(file_, size, at, m);
        if (!why.empty() && matrices_.empty())
            return Refuse(
                Format("It is not a Modelica result: it does not begin with a level-4 "
                       "matrix (%s).",
                       why.c_str()));
        if (!why.empty())
            return Refuse(
                Format("The file is damaged or cut short: its matrix %zu (after \"%s\"), "
                       "at byte %lld, cannot be read: %s.",
                       matrices_.size() + 1, matrices_.empty() ? "" : matrices_.back().name.c_str(),
                       static_cast<long long>(at), why.c_str()));
        at = m.end;
        matrices_.push_back(std::move(m));
    }
    return true;
}

const Matrix* Reader::Find(const char* name) const {
    for (const Matrix& m : matrices_)
        if (m.name == name) return &m;
    return nullptr;
}

bool Reader::Bytes(const Matrix& m, std::string& bytes) {
    // Its size lies within the file's: ParseMatrix saw to it.
    bytes.resize(static_cast<size_t>(m.Count() * m.Width()));
    if (file_.ReadAt(m.at, bytes.data(), std::int64_t(bytes.size())) != std::int64_t(bytes.size()))
        return Refuse(Format("Cannot read \"%s\": %s.", path_.c_str(), std::strerror(errno)));
    return true;
}

bool Reader::Strings(const Matrix& m, std::vector<std::string>& out) {
    if (m.kind == 2 || m.complex)
        return Refuse(Format("Its matrix \"%s\" should hold texts.", m.name.c_str()));
    std::string bytes;
    if (!Bytes(m, bytes)) return false;
    out = Texts(m, bytes, layout_);
    return true;
}

bool Reader::Fill(const Matrix& data2, const std::vector<Trajectory>& all,
                  const std::vector<CResultVariable*>& vars, const std::vector<bool>& owns,
                  std::int64_t rows, bool& bad) {
    const std::int64_t columns = layout_.Cols(data2);
    // The variables holding each column's samples.
    std::vector<std::vector<size_t>> holders(static_cast<size_t>(columns));
    for (size_t i = 0; i < all.size(); ++i)
        if (owns[i]) holders[static_cast<size_t>(all[i].column)].push_back(i);
    const auto put = [&](size_t column, std::int64_t row, const double* v, std::int64_t n,
                         std::int64_t stride) {
        for (const size_t i : holders[column]) {
            double* dst = vars[i]->Values() + row;
            std::uint8_t* flags = vars[i]->Flags() + row;
            const double sign = all[i].negated ? -1.0 : 1.0;
            for (std::int64_t r = 0; r < n; ++r) {
                const double x = v[r * stride];
                const bool ok = std::isfinite(x);
                dst[r] = sign * x;
                flags[r] = ok ? kPointValid : kPointInvalid;
                bad |= !ok;
            }
        }
    };
    const int width = data2.Width();
    const std::int64_t total = data2.Count() * width;
    std::string bytes;
    std::vector<double> values;
    if (layout_.transposed) {
        // Each time point's values lie together: read whole points.
        const std::int64_t points = std::max<std::int64_t>(1, kChunkValues / columns);
        bytes.resize(static_cast<size_t>(points * columns * width));
        values.resize(static_cast<size_t>(points * columns));
        for (std::int64_t row = 0; row < rows; row += points) {
            const std::int64_t n = std::min(points, rows - row);
            const std::int64_t got = n * columns * width;
            if (file_.ReadAt(data2.at + row * columns * width, bytes.data(), got) != got)
                return Refuse(
                    Format("Cannot read \"%s\": %s.", path_.c_str(), std::strerror(errno)));
            Convert(data2, bytes.data(), n * columns, values.data());
            for (size_t c = 0; c < holders.size(); ++c)
                if (!holders[c].empty()) put(c, row, values.data() + c, n, columns);
            if (!KeepGoing(row * columns * width, total)) return false;
        }
        return true;
    }
    // Each column lies together: read only those some variable shows.
    bytes.resize(static_cast<size_t>(std::min(rows, kChunkValues) * width));
    values.resize(static_cast<size_t>(std::min(rows, kChunkValues)));
    for (size_t c = 0; c < holders.size(); ++c) {
        if (holders[c].empty()) continue;
        for (std::int64_t row = 0; row < rows; row += kChunkValues) {
            const std::int64_t n = std::min(kChunkValues, rows - row);
            const std::int64_t at = data2.at + (std::int64_t(c) * rows + row) * width;
            if (file_.ReadAt(at, bytes.data(), n * width) != n * width)
                return Refuse(
                    Format("Cannot read \"%s\": %s.", path_.c_str(), std::strerror(errno)));
            Convert(data2, bytes.data(), n, values.data());
            put(c, row, values.data(), n, 1);
        }
        if (!KeepGoing((std::int64_t(c) + 1) * rows * width, total)) return false;
    }
    return true;
}

bool Reader::Run(CResultDataRef& data) {
    if (!file_.Open(path_)) {
        messages_.Show(file_.Error(), MessageIcon::Stop);
        return false;
    }
    if (!file_.Positional())
        return Refuse(Format("Cannot read \"%s\": it is not a regular file.", path_.c_str()));
    if (!Walk()) return false;

    const Matrix* aclass = matrices_.empty() ? nullptr : &matrices_.front();
    std::string bytes;
    if (!aclass || aclass->name != "Aclass" || aclass->kind == 2 || aclass->complex)
        return Refuse("It is not a Modelica result: its first matrix is not \"Aclass\".");
    if (!Bytes(*aclass, bytes)) return false;
    const std::vector<std::string> klass = ClassTexts(*aclass, bytes);
    if (klass.empty() || klass[0] != "Atrajectory")
        return Refuse(
            Format("It is not a Modelica result: its Aclass says \"%s\", not "
                   "\"Atrajectory\".",
                   klass.empty() ? "" : klass[0].c_str()));
    const std::string version = klass.size() > 1 ? klass[1] : "";
    const std::string comment = klass.size() > 2 ? klass[2] : "";
    const std::string layout = klass.size() > 3 ? klass[3] : "";
    if (layout == "binTrans") {
        layout_.transposed = true;
    } else if (!layout.empty() && layout != "binNormal") {
        return Refuse(Format("Its Aclass gives the layout \"%s\", neither binNormal nor binTrans.",
                             layout.c_str()));
    }
    const bool old = version == "1.0";
    if (!old && version != "1.1")
        return Refuse(
            Format("Its Aclass gives the version \"%s\"; this program reads the "
                   "versions 1.0 and 1.1 of Modelica results.",
                   version.c_str()));
    const char* nameMatrix = old ? "names" : "name";
    const char* dataMatrix = old ? "data" : "data_2";
    const Matrix* names = Find(nameMatrix);
    const Matrix* data2 = Find(dataMatrix);
    const Matrix* described = old ? nullptr : Find("description");
    const Matrix* info = old ? nullptr : Find("dataInfo");
    const Matrix* data1 = old ? nullptr : Find("data_1");
    if (!names || !data2 || (!old && !info))
        return Refuse(Format("It is not a whole Modelica result: it has no matrix \"%s\".",
                             !names   ? nameMatrix
                             : !data2 ? dataMatrix
                                      : "dataInfo"));
    for (const Matrix* m : {data2, info, data1})
        if (m && (m->kind != 0 || m->complex))
            return Refuse(Format("Its matrix \"%s\" holds %s, not real numbers.", m->name.c_str(),
                                 m->complex ? "complex numbers" : "text"));

    std::vector<std::string> nameTexts, descriptions;
    if (!Strings(*names, nameTexts)) return false;
    const auto count = static_cast<std::int64_t>(nameTexts.size());
    if (described && !Strings(*described, descriptions)) return false;
    if (!descriptions.empty() && std::int64_t(descriptions.size()) != count) {
        Note(
            Format("skipped: the %zu descriptions, which do not match the %lld names (no units "
                   "are taken)",
                   descriptions.size(), static_cast<long long>(count)));
        descriptions.clear();
    }
    descriptions.resize(nameTexts.size());

    const std::int64_t rows = layout_.Rows(*data2), columns = layout_.Cols(*data2);
    if (rows < 1 || columns < 1)
        return Refuse(Format("Its matrix \"%s\" holds no time points.", dataMatrix));

    // Where each name's values are: dataInfo's matrix (0 the abscissa, 1
    // data_1, 2 data_2) and column (from 1, negative for a negated alias).
    std::vector<std::pair<std::int64_t, std::int64_t>> where(nameTexts.size());
    if (old) {
        for (std::int64_t i = 0; i < count; ++i) where[size_t(i)] = {2, i + 1};
    } else {
        if (layout_.Rows(*info) != count || layout_.Cols(*info) < 2)
            return Refuse(Format("Its dataInfo is %lld x %lld; its %lld names need %lld x 4.",
                                 static_cast<long long>(layout_.Rows(*info)),
                                 static_cast<long long>(layout_.Cols(*info)),
                                 static_cast<long long>(count), static_cast<long long>(count)));
        if (!Bytes(*info, bytes)) return false;
        for (std::int64_t i = 0; i < count; ++i) {
            double j = 0, k = 0;
            Convert(*info, bytes.data() + layout_.Index(*info, i, 0) * info->Width(), 1, &j);
            Convert(*info, bytes.data() + layout_.Index(*info, i, 1) * info->Width(), 1, &k);
            const auto whole = [](double v) {
                return std::fabs(v) < 2e9 ? static_cast<std::int64_t>(v) : std::int64_t{0};
            };
            where[size_t(i)] = {whole(j), whole(k)};
        }
    }

    std::string data1Bytes;
    const std::int64_t data1Rows = data1 ? layout_.Rows(*data1) : 0;
    const std::int64_t data1Cols = data1 ? layout_.Cols(*data1) : 0;
    if (data1 && !Bytes(*data1, data1Bytes)) return false;
    const auto data1At = [&](std::int64_t row, std::int64_t col) {
        double v = 0;
        Convert(*data1, data1Bytes.data() + layout_.Index(*data1, row, col) * data1->Width(), 1,
                &v);
        return v;
    };

    std::vector<Trajectory> all(1);
    std::vector<std::string> parameters, skipped;
    std::vector<ResultConstant> constants;
    std::int64_t xName = -1, aliases = 0, negatedCount = 0;
    for (std::int64_t i = 0; i < count; ++i) {
        const std::string& name = nameTexts[size_t(i)];
        const auto [matrix, signedColumn] = where[size_t(i)];
        const std::int64_t column = std::llabs(signedColumn);
        const bool negated = signedColumn < 0;
        const std::string unit = UnitOf(descriptions[size_t(i)]);
        if (name.empty()) {
            skipped.push_back(Format("skipped: name %lld, which is empty", (long long)(i + 1)));
            continue;
        }
        // data_1 and data_2 both begin with the abscissa.
        const bool abscissa = matrix == 0 || ((matrix == 1 || matrix == 2) && column == 1);
        if (abscissa && !negated && xName < 0) {
            xName = i;
            all[0].name = name;
            all[0].unit = unit;
            all[0].description = WithoutUnit(descriptions[size_t(i)]);
            continue;
        }
        if (abscissa || matrix == 2) {
            if (!abscissa && (column < 1 || column > columns)) {
                skipped.push_back(
                    Format("skipped: %s, whose column %lld is not one of the %lld "
                           "of %s",
                           name.c_str(), static_cast<long long>(signedColumn),
                           static_cast<long long>(columns), dataMatrix));
                continue;
            }
            all.push_back({name, unit, WithoutUnit(descriptions[size_t(i)]),
                           abscissa ? 0 : column - 1, negated});
            continue;
        }
        if (matrix == 1) {
            if (column < 1 || column > data1Cols || data1Rows < 1) {
                skipped.push_back(
                    Format("skipped: %s, whose column %lld is not one of the %lld "
                           "of data_1",
                           name.c_str(), static_cast<long long>(signedColumn),
                           static_cast<long long>(data1Cols)));
                continue;
            }
            const double sign = negated ? -1.0 : 1.0;
            const double first = sign * data1At(0, column - 1);
            const double last = sign * data1At(data1Rows - 1, column - 1);
            const std::string tail = unit.empty() ? "" : " " + unit;
            // Two values stand for a line from the first time to the last:
            // no constant to offer formulas.
            if (first == last) constants.push_back({name, first});
            parameters.push_back(first == last || (std::isnan(first) && std::isnan(last))
                                     ? Format("parameter %s = %s%s", name.c_str(),
                                              Number(first, *data1).c_str(), tail.c_str())
                                     : Format("parameter %s = %s%s at the start, %s%s at the end",
                                              name.c_str(), Number(first, *data1).c_str(),
                                              tail.c_str(), Number(last, *data1).c_str(),
                                              tail.c_str()));
            continue;
        }
        skipped.push_back(Format("skipped: %s, whose dataInfo names the matrix %lld", name.c_str(),
                                 static_cast<long long>(matrix)));
    }
    if (xName < 0) all[0].name = "Time";
    if (all[0].unit.empty() && (all[0].name == "Time" || all[0].name == "time")) all[0].unit = "s";

    // The first variable showing a column holds its samples; the others borrow them.
    std::vector<std::int64_t> holder(static_cast<size_t>(columns), -1);
    std::vector<bool> owns(all.size());
    std::uint64_t held = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        std::int64_t& h = holder[static_cast<size_t>(all[i].column)];
        owns[i] = all[i].negated || h < 0;
        if (!all[i].negated && h < 0) h = std::int64_t(i);
        held += owns[i];
        aliases += !owns[i];
        negatedCount += all[i].negated;
    }
    const std::uint64_t limit = MemoryLimit(options_.memoryLimit);
    if (rows > std::numeric_limits<std::int32_t>::max() ||
        all.size() > static_cast<size_t>(std::numeric_limits<std::int32_t>::max()))
        return Refuse(
            Format("It holds %lld time points of %zu variables, more than this program "
                   "reads.",
                   static_cast<long long>(rows), all.size()));
    if (static_cast<std::uint64_t>(rows) > limit / (sizeof(double) + 1) / held)
        return Refuse(
            Format("Its %lld time points of %llu variables need more memory than there "
                   "is.",
                   static_cast<long long>(rows), static_cast<unsigned long long>(held)));

    const auto n = static_cast<std::int32_t>(rows);
    Builder run;
    std::vector<CResultVariable*> vars(all.size());
    for (size_t i = 0; i < all.size(); ++i) {
        CResultVariable* v = nullptr;
        if (owns[i]) {
            v = CResultVariable::Create(n);
            if (!v) return Refuse("There is not enough memory for its data.");
        } else {
            // An alias shows its column's samples, kept while it lives.
            CResultVariable* own = vars[static_cast<size_t>(holder[size_t(all[i].column)])];
            own->AddRef();
            std::shared_ptr<CResultVariable> keep(own, [](CResultVariable* p) { p->Release(); });
            v = CResultVariable::Over(own->Values(), own->Flags(), n, std::move(keep));
        }
        v->SetName(all[i].name);
        v->SetUnit(all[i].unit);
        v->SetDescription(all[i].description);
        run.Adopt(v);
        vars[i] = v;
    }
    bool bad = false;
    if (!Fill(*data2, all, vars, owns, rows, bad)) return false;
    run.SetRows(n);
    {
        std::lock_guard<std::recursive_mutex> hold(run.Lock());
        const int workers = rows * std::int64_t(held) >= (1 << 20) ? WorkerCount() : 1;
        FinishColumns(run, rows, {}, false, bad, workers);
    }

    Note(Format("format: Modelica result %s (%s)", version.c_str(),
                layout_.transposed ? "binTrans" : "binNormal"));
    if (!comment.empty()) Note("comment: " + comment);
    Note(Format("record length: %lld", static_cast<long long>(rows)));
    const double* x = vars[0]->Values();
    Note(Format("time: %s to %s%s%s", Number(x[0], *data2).c_str(),
                Number(x[rows - 1], *data2).c_str(), all[0].unit.empty() ? "" : " ",
                all[0].unit.c_str()));
    Note(Format("variables: %zu trajectories (%lld of them aliases, %lld negated), %zu constants",
                all.size(), static_cast<long long>(aliases), static_cast<long long>(negatedCount),
                parameters.size()));
    for (size_t i = 0; i < parameters.size() && i < kMaxParameterNotes; ++i) Note(parameters[i]);
    if (parameters.size() > kMaxParameterNotes)
        Note(Format("... and %zu more constants", parameters.size() - kMaxParameterNotes));
    for (size_t i = 0; i < skipped.size() && i < kMaxParameterNotes; ++i) Note(skipped[i]);
    if (skipped.size() > kMaxParameterNotes)
        Note(Format("skipped: %zu more names", skipped.size() - kMaxParameterNotes));
    std::int64_t unused = 0;
    for (const std::int64_t h : holder) unused += h < 0;
    if (unused > 0)
        Note(Format("skipped: %lld columns of %s that no name shows",
                    static_cast<long long>(unused), dataMatrix));
    run.SetConstants(std::move(constants));
    data.ShareColumnsOf(run);
    return true;
}

}  // namespace

bool LooksLikeModelicaResult(std::string_view head, const std::string& path) {
    if (head.size() < 27 || head.substr(20, 7) != std::string_view("Aclass\0", 7)) return false;
    // Aclass may be stored as doubles, beyond the head.
    std::string probe(head);
    FileByteSource file;
    if (file.Open(path) && file.Positional()) {
        probe.resize(static_cast<size_t>(std::min(file.Size(), kProbeBytes)));
        if (file.ReadAt(0, probe.data(), std::int64_t(probe.size())) != std::int64_t(probe.size()))
            return false;
    }
    const MemoryByteSource source(probe);
    Matrix m;
    if (!ParseMatrix(source, source.Size(), 0, m).empty() || m.kind == 2 || m.complex) return false;
    const std::vector<std::string> texts =
        ClassTexts(m, probe.substr(static_cast<size_t>(m.at), static_cast<size_t>(m.end - m.at)));
    return !texts.empty() && texts[0] == "Atrajectory";
}

bool ReadModelicaResult(const std::string& path, CResultDataRef& data, UserMessages& messages,
                        const BinaryReadOptions& options, std::vector<std::string>* notes) {
    Reader reader(path, messages, options, notes);
    return reader.Run(data);
}

}  // namespace kurvex
