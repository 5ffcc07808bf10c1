#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/NumericLocale.h"
#include "data/document/ResultFile.h"
#include "data/formats/TextWriter.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

// Time, V and I over three rows, with values that "%g" and "%.9E" write exactly.
CResultDataRef SmallSet() {
    return test::MakeData({"Time", "V", "I"},
                          {{0, 0.5, 1}, {1.5, -3.75, 0.125}, {-2.25e-7, 1250.5, 4e12}});
}

// Writes the set in `mode`, reads it back and tells whether every name and value survived.
bool RoundTrips(const CResultDataRef& original, int mode, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || !ExportDataSet(original, file, nullptr, mode)) return false;
    std::fclose(file);
    CResultDataRef back;
    test::RecordingMessages messages;
    if (!LoadResultFile(path, back, nullptr, messages)) return false;
    if (back->VariableCount() != original->VariableCount() ||
        back->RowCount() != original->RowCount())
        return false;
    for (int v = 0; v < original->VariableCount(); ++v) {
        if (back->Variable(v)->Name() != original->Variable(v)->Name()) return false;
        for (int r = 0; r < original->RowCount(); ++r)
            if (back->Variable(v)->Values()[r] != original->Variable(v)->Values()[r]) return false;
    }
    return true;
}

// Restores the process's locale when a test ends.
struct LocaleGuard {
    LocaleGuard() : saved(std::setlocale(LC_ALL, nullptr)) {}
    ~LocaleGuard() { std::setlocale(LC_ALL, saved.c_str()); }
    std::string saved;
};

TEST(NumericLocale, SavedDataReadsBackUnderACommaLocale) {
    LocaleGuard guard;
    // What QApplication does for a user whose language is German.
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
        << "de_DE.UTF-8 is not generated: run scripts/setup";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const CResultDataRef data = SmallSet();
    const std::string path = dir.filePath("saved.txt").toStdString();

    // Unpinned, the fixed-width writer puts decimal commas into the file and the data come
    // back wrong (the delimited writers format numbers without the locale).
    EXPECT_FALSE(RoundTrips(data, kExportFixedWidth, path));

    PinNumericLocale();
    for (int mode : {kExportFixedWidth, kExportTab, kExportComma})
        EXPECT_TRUE(RoundTrips(data, mode, path)) << "mode " << mode;
    // The other categories stay the user's.
    EXPECT_EQ(std::string(std::setlocale(LC_CTYPE, nullptr)), "de_DE.UTF-8");
}

}  // namespace
}  // namespace kurvex
