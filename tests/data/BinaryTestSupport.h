#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "data/model/ResultData.h"

namespace kurvex::test {

// One column of a hand-made data set.
struct Column {
    const char* name;  // null: no name
    std::vector<double> values;
    std::vector<std::uint8_t> flags;  // empty: all valid
};

// A data set of the columns, with the uniform-X and bad-points flags set as
// given and extents updated.
inline CResultDataRef MakeColumns(const std::vector<Column>& cols, bool uniform, bool bad,
                                  std::int32_t kind = kDataSetPlain) {
    CResultDataRef d(kind);
    const auto n = static_cast<std::int32_t>(cols.size());
    const auto rows = static_cast<std::int32_t>(cols[0].values.size());
    EXPECT_TRUE(d.Initialise(kind, n, rows, 100));
    for (std::int32_t r = 0; r < rows; ++r) {
        std::vector<double> v;
        std::vector<std::uint8_t> f;
        for (const Column& c : cols) {
            v.push_back(c.values[static_cast<size_t>(r)]);
            f.push_back(c.flags.empty() ? std::uint8_t{kPointValid}
                                        : c.flags[static_cast<size_t>(r)]);
        }
        EXPECT_TRUE(d.SetRow(r, v.data(), f.data(), 0, -1));
    }
    for (std::int32_t i = 0; i < n; ++i) d.SetName(i, cols[static_cast<size_t>(i)].name);
    d->SetUniformX(uniform);
    d->SetBadPoints(bad);
    d.UpdateExtents();
    return d;
}

// Three variables, five points, uniform X, nothing bad.
inline CResultDataRef UniformThree() {
    return MakeColumns({{"Time", {0, 0.1, 0.2, 0.3, 0.4}, {}},
                        {"I(L1)", {1, -2, 3.5, 4, 1e300}, {}},
                        {"V(C2)", {-1e-300, 0, 7, 8, 9}, {}}},
                       true, false);
}

// Three variables, four points, bad points (X's flags are never stored), and X
// not uniform.
inline CResultDataRef WithBadPoints() {
    return MakeColumns({{"Time", {0, 1, 3, 7}, {1, 0, 1, 1}},
                        {"a", {1, 2, 3, 4}, {1, 0, 2, 1}},
                        {"b", {5, 6, 7, 8}, {2, 2, 1, 0}}},
                       false, true);
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// A temporary file holding `bytes`, rewound.
inline FilePtr FileWith(const std::string& bytes) {
    FilePtr f(std::tmpfile());
    std::fwrite(bytes.data(), 1, bytes.size(), f.get());
    std::rewind(f.get());
    return f;
}

// Fields of a file's bytes, read and written in place in this machine's (little-endian) order.
template <typename T>
T At(const std::string& bytes, size_t at) {
    T v;
    std::memcpy(&v, bytes.data() + at, sizeof v);
    return v;
}
inline std::uint32_t U32At(const std::string& s, size_t at) {
    return At<std::uint32_t>(s, at);
}
inline std::uint64_t U64At(const std::string& s, size_t at) {
    return At<std::uint64_t>(s, at);
}
inline double F64At(const std::string& s, size_t at) {
    return At<double>(s, at);
}
template <typename T>
void Put(std::string& bytes, size_t at, T v) {
    std::memcpy(bytes.data() + at, &v, sizeof v);
}
inline void PutU32(std::string& s, size_t at, std::uint32_t v) {
    Put(s, at, v);
}
inline void PutU64(std::string& s, size_t at, std::uint64_t v) {
    Put(s, at, v);
}
// Appends the bytes of v.
template <typename T>
void Append(std::string& out, T v) {
    out.append(reinterpret_cast<const char*>(&v), sizeof v);
}
// An ngspice binary plot of time, v(out) and i(l1); value(v, p) gives the samples.
template <class Value>
std::string NgspicePlot(const char* name, std::int64_t points, Value value) {
    std::string out = std::string("Title: deck\nDate: today\nPlotname: ") + name +
                      "\nFlags: real\nNo. Variables: 3\nNo. Points: " + std::to_string(points) +
                      "\nVariables:\n\t0\ttime\ttime\n\t1\tv(out)\tvoltage\n"
                      "\t2\ti(l1)\tcurrent\nBinary:\n";
    for (std::int64_t p = 0; p < points; ++p)
        for (int v = 0; v < 3; ++v) Append(out, value(v, p));
    return out;
}
// The four bytes of v.
inline std::string U32Bytes(std::uint32_t v) {
    return std::string(reinterpret_cast<const char*>(&v), 4);
}

// Whether a and b are the same double bit for bit (NaNs and the sign of zero too).
inline bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The samples and flags of variable `i`, row by row.
inline std::vector<double> Samples(const CResultDataRef& d, std::int32_t i) {
    const double* v = d->Variable(i)->Values();
    return {v, v + d->RowCount()};
}
inline std::vector<std::uint8_t> Flags(const CResultDataRef& d, std::int32_t i) {
    const std::uint8_t* f = d->Variable(i)->Flags();
    return {f, f + d->RowCount()};
}

}  // namespace kurvex::test
