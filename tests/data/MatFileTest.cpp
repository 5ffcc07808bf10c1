#include <gtest/gtest.h>
#include <matio.h>
#include <unistd.h>
#include <zlib.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "data/BinaryTestSupport.h"
#include "data/ReaderTestSupport.h"
#include "data/document/ResultFile.h"
#include "data/formats/MatFile.h"
#include "data/platform/ChildReader.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

namespace fs = std::filesystem;
using test::Names;
using test::RecordingMessages;

const fs::path kMat = KURVEX_MAT_DIR;

class MatFile : public test::TempDirTest {};

// One sample a file must give: NaN for an invalid point.
struct Sample {
    const char* name;
    std::int32_t row;
    double value;
};

void ExpectSamples(const CResultDataRef& d, const std::vector<Sample>& samples) {
    for (const Sample& s : samples) {
        const std::int32_t v = d.FindVariable(s.name);
        ASSERT_GE(v, 0) << s.name;
        const std::uint8_t flag = d->Variable(v)->Flags()[s.row];
        if (std::isnan(s.value)) {
            EXPECT_EQ(flag, kPointInvalid) << s.name << " row " << s.row;
        } else {
            EXPECT_EQ(flag, kPointValid) << s.name << " row " << s.row;
            EXPECT_NEAR(d->Variable(v)->Values()[s.row], s.value, 1e-12) << s.name;
        }
    }
}

// The files SciPy wrote (make_mat_files.py) at levels 4 and 5, compressed and not.
TEST_F(MatFile, SciPyFilesReadAsTheirVariables) {
    const double nan = std::nan("");
    const double amp1 = 20.0 * std::log10(std::sqrt(2.0));
    const std::vector<std::string> mixed = {"Time", "a",    "V",   "M(1)", "M(2)",   "M(3)",
                                            "W(1)", "W(2)", "n16", "s32",  "amp(z)", "phase(z)"};
    const std::vector<Sample> mixedSamples = {
        {"Time", 5, 0.5},    {"a", 1, 3.0},        {"V", 2, nan},    {"V", 3, 6.0},
        {"M(2)", 4, 14.0},   {"W(2)", 5, 105.0},   {"n16", 0, -3.0}, {"s32", 3, 1.5},
        {"amp(z)", 0, amp1}, {"phase(z)", 3, 45.0}};
    const char* mixedNotes[] = {"short (4x1), k (1x1)", "cell arrays c", "strings s",
                                "structures st"};
    struct Case {
        const char* file;
        std::vector<std::string> names;
        std::vector<Sample> samples;
        std::vector<const char*> notes;
    };
    const Case cases[] = {
        {"mixed5.mat", mixed, mixedSamples, {std::begin(mixedNotes), std::end(mixedNotes)}},
        {"level4.mat",
         {"t", "x", "M(1)", "M(2)", "amp(z)", "phase(z)"},
         {{"t", 4, 0.4},
          {"x", 2, 6.0},
          {"M(2)", 3, -3.0},
          {"amp(z)", 1, 20.0 * std::log10(2.0)},
          {"phase(z)", 5, 90.0}},
         {"strings s"}},
        // Simulink's "Structure With Time": a signal of width 2 has no label.
        {"simulink5z.mat",
         {"time", "Vout", "model/IL(1)", "model/IL(2)", "Vout_2"},
         {{"time", 2, 0.02}, {"Vout", 1, 1.5}, {"model/IL(2)", 3, 6.0}, {"Vout_2", 4, -4.0}},
         {"Vout as Vout_2"}},
        // No vector: the matrix's first column is X.
        {"matrix5.mat", {"Y(1)", "Y(2)", "Y(3)"}, {{"Y(1)", 1, 0.1}, {"Y(3)", 2, -2.0}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        test::ReadOutcome o;
        test::LoadInto((kMat / c.file).string(), o);
        ASSERT_TRUE(o.read) << o.First();
        EXPECT_EQ(Names(o.data), c.names);
        EXPECT_EQ(o.data->RowCount(), 6);
        ExpectSamples(o.data, c.samples);
        for (const char* n : c.notes) EXPECT_NE(o.Said().find(n), std::string::npos) << n;
        if (c.notes.empty()) {
            EXPECT_TRUE(o.notes.empty()) << o.Said();
        }
    }
}

// Bytes of a level-5 file by hand, for what no good writer makes.
std::string Level5(const std::string& elements) {
    return "MATLAB 5.0" + std::string(114, ' ') + std::string("\0\1IM", 4) + elements;
}

const auto U32 = test::U32Bytes;

std::string Gunzip(const fs::path& path) {
    std::string out;
    gzFile in = gzopen(path.c_str(), "rb");
    char chunk[1 << 16];
    for (int n; in && (n = gzread(in, chunk, sizeof chunk)) > 0;) out.append(chunk, size_t(n));
    if (in) gzclose(in);
    return out;
}

// A double column named "x" whose dimensions say `rows` but which holds one value.
std::string ClaimingRows(std::uint32_t rows) {
    const std::string body = U32(6) + U32(8) + U32(6) + U32(0) +             // flags: double
                             U32(5) + U32(8) + U32(rows) + U32(1) +          // dimensions
                             U32(0x00010001) + "x" + std::string(3, '\0') +  // small name
                             U32(9) + U32(8) + std::string(8, '\0');
    return Level5(U32(14) + U32(static_cast<std::uint32_t>(body.size())) + body);
}

TEST_F(MatFile, RefusalsSayWhyAndKeepTheData) {
    const std::string whole = test::Slurp(kMat / "mixed5.mat");
    std::string deflated = test::Slurp(kMat / "mixed5z.mat");
    deflated[150] = static_cast<char>(deflated[150] ^ 0x40);
    // Level 4 has no mark: matio would take these bytes for a name 1.8 GB long.
    const std::string nameLength =
        U32(0) + U32(6) + U32(1) + U32(0) + "sign" + std::string(40, 'x');
    struct Case {
        const char* what;
        std::string bytes;
        const char* said;  // null: cancelled, nothing said
        bool cancel = false;
    };
    const Case cases[] = {
        {"no variables", Level5(""), "holds no variables"},
        {"only cells and text", test::Slurp(kMat / "cells5.mat"), "cell arrays c; strings s"},
        {"a count past the array's end", ClaimingRows(1000000000u), "do not fit"},
        {"cut in the first array", whole.substr(0, 200), "damaged"},
        {"a broken compressed stream", deflated, "does not inflate"},
        {"level-4 bytes with a huge name", nameLength, "nor a variable of level 4"},
        {"a name longer than its array",
         Level5(U32(14) + U32(48) + U32(6) + U32(8) + U32(6) + U32(0) + U32(5) + U32(8) + U32(1) +
                U32(1) + U32(1) + U32(0x7FFFFFF0) + std::string(8, '\0')),
         "do not fit"},
        {"cancelled", whole, nullptr, true},
        // Level 7.3 on which HDF5 loops (a fuzzer's find, see mat/README).
        {"HDF5 in a loop", Gunzip(kMat / "hdf5_loop.mat.gz"), "gave no answer within 1 s"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Path("bad.mat");
        test::Spit(path, c.bytes);
        test::ReadOutcome o;
        ASSERT_TRUE(o.data.Initialise(kDataSetPlain, 1, 1, 1));
        const CResultData* before = o.data.Get();
        BinaryReadOptions options;
        options.memoryLimit = std::uint64_t{1} << 40;
        if (c.cancel) options.progress = [](std::int64_t, std::int64_t) { return false; };
        o.read = ReadMatFile(path, o.data, o.messages, options, nullptr, 1);
        EXPECT_EQ(o.data.Get(), before);
        if (!c.said) {
            EXPECT_FALSE(o.read);
            EXPECT_TRUE(o.messages.shown.empty());
            continue;
        }
        ASSERT_NO_FATAL_FAILURE(test::ExpectRefused(o, c.said));
        EXPECT_NE(o.First().find("Can not read file " + path), std::string::npos);
    }
}

TEST_F(MatFile, TellsItsLevelsFromTheirMarks) {
    const std::string v5 = Level5("");
    std::string v5big = v5;
    v5big.replace(124, 4, std::string("\1\0MI", 4));
    const std::string v73 = "MATLAB 7.3 MAT-file, Platform: GLNXA64" + std::string(90, ' ');
    const std::string v4 = test::Slurp(kMat / "level4.mat").substr(0, 128);
    std::string hdf5 = "MATLAB 7.0 MAT-file" + std::string(493, ' ') + "\x89HDF\r\n\x1a\n";
    hdf5.replace(124, 4, std::string("\x00\x02IM", 4));
    struct Case {
        std::string head;
        const char* path;
        bool mat;
    } cases[] = {
        {v5, "a.bin", true},
        {v5big, "a", true},
        {v73, "a.h5", true},
        {hdf5, "a.bin", true},  // level 7.3 by its HDF5 signature
        {v4, "a.MAT", true},
        {v4, "a.dat", false},  // level 4 has no mark: only its extension tells
        {"time V(out)\n0 1\n", "a.mat", false},
    };
    for (const Case& c : cases) EXPECT_EQ(LooksLikeMatFile(c.head, c.path), c.mat) << c.path;
}

TEST_F(MatFile, RoundTripKeepsNamesValuesAndInvalidPoints) {
    const std::vector<std::string> names = {
        "time", "V(out)", "I(L1)", "1st", "V_out", "Spannung \xC3\x9C", "end"};
    const std::int32_t rows = 5;
    CResultDataRef d;
    ASSERT_TRUE(d.Initialise(kDataSetPlain, static_cast<std::int32_t>(names.size()), rows, 1));
    for (size_t v = 0; v < names.size(); ++v) {
        d.SetName(static_cast<std::int32_t>(v), names[v].c_str());
        for (std::int32_t r = 0; r < rows; ++r) {
            const double value = r * 0.1 + static_cast<double>(v) / 3.0;
            const std::uint8_t flag = v == 2 && r == 3 ? kPointInvalid : kPointValid;
            ASSERT_TRUE(d.SetRow(r, &value, &flag, static_cast<std::int32_t>(v), 1));
        }
    }
    const std::string path = Path("out.mat");
    test::Spit(path, "older");
    RecordingMessages messages;
    ASSERT_TRUE(WriteMatFile(*d.Get(), path, messages));

    // What MATLAB sees: valid, unique names, and our table of names.
    mat_t* mat = Mat_Open(path.c_str(), MAT_ACC_RDONLY);
    ASSERT_NE(mat, nullptr);
    std::vector<std::string> matlab;
    while (matvar_t* v = Mat_VarReadNextInfo(mat)) {
        matlab.emplace_back(v->name);
        Mat_VarFree(v);
    }
    Mat_Close(mat);
    EXPECT_EQ(matlab, (std::vector<std::string>{"time", "V_out", "I_L1", "x1st", "V_out_2",
                                                "Spannung", "end_", "kurvex_names"}));

    CResultDataRef back;
    ASSERT_TRUE(ReadMatFile(path, back, messages));
    EXPECT_EQ(Names(back), names);
    ASSERT_EQ(back->RowCount(), rows);
    for (std::int32_t v = 0; v < back->VariableCount(); ++v) {
        EXPECT_EQ(test::Flags(back, v), test::Flags(d, v)) << v;
        for (std::int32_t r = 0; r < rows; ++r) {
            if (d->Variable(v)->Flags()[r] == kPointValid) {
                EXPECT_EQ(back->Variable(v)->Values()[r], d->Variable(v)->Values()[r]) << v;
            }
        }
    }
    EXPECT_TRUE(messages.shown.empty());
}

// A variable for matio to write: its class, and its values column by column.
struct Var {
    const char* name;
    matio_classes cls;
    std::vector<double> values;
    size_t columns = 1;
};

void WriteMat(const std::string& path, mat_ft level, const std::vector<Var>& vars) {
    mat_t* mat = Mat_CreateVer(path.c_str(), nullptr, level);
    ASSERT_NE(mat, nullptr);
    for (const Var& v : vars) {
        std::vector<unsigned char> bytes;
        auto put = [&](auto sample) {
            for (const double x : v.values) {
                sample = static_cast<decltype(sample)>(x);
                const auto* p = reinterpret_cast<const unsigned char*>(&sample);
                bytes.insert(bytes.end(), p, p + sizeof sample);
            }
        };
        const matio_types type = v.cls == MAT_C_UINT8    ? (put(std::uint8_t{}), MAT_T_UINT8)
                                 : v.cls == MAT_C_UINT16 ? (put(std::uint16_t{}), MAT_T_UINT16)
                                 : v.cls == MAT_C_UINT32 ? (put(std::uint32_t{}), MAT_T_UINT32)
                                 : v.cls == MAT_C_INT64  ? (put(std::int64_t{}), MAT_T_INT64)
                                                         : (put(double{}), MAT_T_DOUBLE);
        size_t dims[2] = {v.values.size() / v.columns, v.columns};
        matvar_t* var = Mat_VarCreate(v.name, v.cls, type, 2, dims, bytes.data(), 0);
        ASSERT_EQ(Mat_VarWrite(mat, var, MAT_COMPRESSION_NONE), 0);
        Mat_VarFree(var);
    }
    Mat_Close(mat);
}

// Level 7.3 is HDF5, read in a child process; integers of every width and
// sign come back as written.
TEST_F(MatFile, ReadsWhatMatioWritesAtLevels5And73) {
    const double nan = std::nan("");
    const std::vector<Var> vars = {
        {"m", MAT_C_DOUBLE, {1, 2, 3, 10, nan, 40}, 2},
        {"t", MAT_C_DOUBLE, {0, 1, 2}},
        {"adc", MAT_C_UINT16, {0, 40000, 65535}},
        {"u8", MAT_C_UINT8, {0, 200, 255}},
        {"u32", MAT_C_UINT32, {0, 3e9, 4294967295.0}},
        {"i64", MAT_C_INT64, {-9007199254740992.0, -1, 9007199254740992.0}},
    };
    const std::vector<Sample> samples = {{"m(1)", 1, 2.0},
                                         {"m(2)", 1, nan},
                                         {"m(2)", 2, 40.0},
                                         {"adc", 2, 65535.0},
                                         {"u8", 2, 255.0},
                                         {"u32", 2, 4294967295.0},
                                         {"i64", 0, -9007199254740992.0},
                                         {"i64", 2, 9007199254740992.0}};
    for (const mat_ft level : {MAT_FT_MAT5, MAT_FT_MAT73}) {
        SCOPED_TRACE(level);
        const std::string path = Path("written.mat");
        WriteMat(path, level, vars);
        CResultDataRef d;
        RecordingMessages messages;
        LoadOptions options;
        options.showWarnings = false;
        ASSERT_TRUE(LoadResultFile(path, d, nullptr, messages, options));
        // Level 7.3 lists its variables by name.
        EXPECT_EQ(Names(d)[0], "t");
        EXPECT_EQ(d->VariableCount(), 7);
        ExpectSamples(d, samples);
    }
}

// X is a time by its name, else the first vector that increases.
TEST_F(MatFile, XIsATimeByNameElseAVectorThatIncreases) {
    const std::vector<double> up = {0, 1, 2, 3}, flat = {5, 5, 5, 5}, down = {3, 2, 1, 0};
    struct Case {
        std::vector<Var> vars;
        const char* x;
    };
    const Case cases[] = {
        {{{"x", MAT_C_DOUBLE, up}, {"TOUT", MAT_C_DOUBLE, down}}, "TOUT"},
        // A dead time does not increase, so it is no axis.
        {{{"deadtime", MAT_C_DOUBLE, flat},
          {"ramp", MAT_C_DOUBLE, up},
          {"SimTime", MAT_C_DOUBLE, up}},
         "SimTime"},
        {{{"noise", MAT_C_DOUBLE, down}, {"ramp", MAT_C_UINT8, up}}, "ramp"},
        {{{"a", MAT_C_DOUBLE, down}, {"b", MAT_C_DOUBLE, flat}}, "a"},
    };
    for (const mat_ft level : {MAT_FT_MAT5, MAT_FT_MAT73}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.x);
            const std::string path = Path("x.mat");
            WriteMat(path, level, c.vars);
            CResultDataRef d;
            RecordingMessages messages;
            ASSERT_TRUE(ReadMatFile(path, d, messages));
            EXPECT_EQ(Names(d)[0], c.x);
        }
    }
}

// What other programs wrote, read where it lies: values as SciPy's loadmat
// gives them, or one refusal that says why.
TEST_F(MatFile, PeerFilesReadAsSciPyReadsThem) {
    std::string why;
    const fs::path peer = test::PeerData("mat", why);
    if (peer.empty()) GTEST_SKIP() << why;
    struct Case {
        std::string file;
        std::vector<Sample> samples;  // the first is X; none: refused
        const char* said;             // in the notes or the refusal
    };
    std::vector<Case> cases = {
        {"derived/string_object_beside_vector.mat",
         {{"testdouble", 1, 0.7853981633974483}, {"testdouble", 8, 6.283185307179586}},
         "MATLAB string objects matstring1, matstring2"},
        {"scipy/testmatlabstring_7_WIN64.mat", {}, "MATLAB string objects matstring1, matstring2"},
        // Level 7.3 under a "MATLAB 7.0" header: as SciPy reads testdouble_7.4_GLNX86.mat.
        {"scipy/testhdf5_7.4_GLNX86.mat", {{"testdouble", 8, 6.283185307179586}}, ""},
        // As SciPy reads test_file.mat: d(k) is row k of a 5x10 array.
        {"matio/test_file_hdf5.mat",
         {{"d(1)", 9, 46.0}, {"d(2)", 3, 17.0}, {"i16(5)", 9, 50.0}},
         ""},
        {"scipy/miuint32_for_miint32.mat", {{"an_array", 7, 7.0}}, ""},
        {"scipy/bad_miuint32.mat", {}, "the dimensions of its variable 1 are negative"},
        // fit_params falls; xdot_filt rises.
        {"scipy/testvec_4_GLNX86.mat",
         {{"xdot_filt", 0, 8.1115447475230140e-13}, {"fit_params", 0, 1.2766136406170352e+09}},
         ""},
        {"derived/damaged_hdf5_7.3.mat", {}, "The MAT file is damaged: the HDF5 library"},
        {"derived/damaged_hdf5_7.3_abort.mat", {}, "The MAT file is damaged: the HDF5 library"},
        {"cut test_file_hdf5.mat", {}, "damaged or cut short"},
        {"compressed miuint32_for_miint32.mat", {{"an_array", 9, 9.0}}, ""},
    };
    test::Spit(Path(cases[cases.size() - 2].file),
               test::Slurp(peer / "matio/test_file_hdf5.mat").substr(0, 20000));
    // The same array as a compressed element.
    const std::string plain = test::Slurp(peer / "scipy/miuint32_for_miint32.mat");
    ASSERT_GT(plain.size(), 128u);
    uLongf packedSize = compressBound(static_cast<uLong>(plain.size()));
    std::string packed(packedSize, '\0');
    ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                        reinterpret_cast<const Bytef*>(plain.data()) + 128, plain.size() - 128, 6),
              Z_OK);
    test::Spit(Path(cases.back().file), plain.substr(0, 128) + U32(15) +
                                            U32(static_cast<std::uint32_t>(packedSize)) +
                                            packed.substr(0, packedSize));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path =
            fs::exists(peer / c.file) ? (peer / c.file).string() : Path(c.file);
        test::ReadOutcome o;
        test::LoadInto(path, o);
        if (c.samples.empty()) {
            test::ExpectRefused(o, c.said);
            continue;
        }
        ASSERT_TRUE(o.read) << o.First();
        EXPECT_NE(o.Said().find(c.said), std::string::npos) << o.Said();
        EXPECT_EQ(Names(o.data)[0], c.samples[0].name);
        ExpectSamples(o.data, c.samples);
    }
    // Every other file reads, or is refused in one message.
    for (const auto& entry : fs::recursive_directory_iterator(peer)) {
        if (entry.path().extension() != ".mat") continue;
        SCOPED_TRACE(entry.path().string());
        CResultDataRef d;
        RecordingMessages messages;
        BinaryReadOptions options;
        const bool read = ReadMatFile(entry.path().string(), d, messages, options);
        EXPECT_EQ(messages.shown.size(), read ? 0u : 1u);
    }
}

// A child that crashes, hangs or asks for too much memory leaves
// the reader a cause to give.
TEST_F(MatFile, ChildReaderOutlivesItsChild) {
    struct Case {
        const char* what;
        std::function<void(int)> serve;
        const char* failure;
    };
    const Case cases[] = {
        {"crash", [](int) { std::raise(SIGSEGV); }, "crashed (Segmentation fault)"},
        {"hang", [](int) { ::pause(); }, "gave no answer within 1 s"},
        {"hog",
         [](int fd) {
             void* p = std::malloc(std::size_t{1} << 32);
             const char got = p ? 1 : 0;
             ChildReader::Put(fd, &got, 1);
             std::free(p);
         },
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ChildReader child;
        ChildReader::Limits limits;
        limits.memory = std::uint64_t{64} << 20;
        limits.silentSeconds = 1;
        ASSERT_TRUE(child.Start(c.serve, limits));
        char got = 0;
        if (!c.failure) {
            ASSERT_TRUE(child.Receive(&got, 1));
#if !defined(__SANITIZE_ADDRESS__)
            EXPECT_EQ(got, 0) << "the memory limit let 4 GB through";
#endif
            continue;
        }
        EXPECT_FALSE(child.Receive(&got, 1));
        EXPECT_EQ(child.Failure(), c.failure);
    }
}

}  // namespace
}  // namespace kurvex
