#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QTemporaryDir>
#include <cstdio>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "data/BlockContainerFile.h"
#include "data/SettingsDataFile.h"

namespace kurvex {
namespace {

CResultDataRef TwoRows() {
    CResultDataRef d;
    d.Initialise(kDataSetPlain, 2, 2, 100);
    d.SetName(0, "Time");
    d.SetName(1, "V");
    const double r0[2] = {0, 1}, r1[2] = {1, 2};
    const std::uint8_t flags[2] = {1, 1};
    d.SetRow(0, r0, flags, 0, 2);
    d.SetRow(1, r1, flags, 0, 2);
    return d;
}

// A file manager finds both binary formats by their first bytes, whatever their names, and the
// text results by their extensions, through the MIME type Kurvex installs.
TEST(Packaging, FileManagersKnowKurvexFiles) {
    QTemporaryDir share;
    ASSERT_TRUE(QDir(share.path()).mkpath("mime/packages"));
    ASSERT_TRUE(QFile::copy(KURVEX_EXAMPLES_DIR "/../packaging/kurvex-mime.xml",
                            share.filePath("mime/packages/kurvex.xml")));
    // Read before the MIME database is first used in this test process.
    qputenv("XDG_DATA_DIRS", QFile::encodeName(share.path()) + ":/usr/share");

    QTemporaryDir dir;
    const CResultDataRef data = TwoRows();
    test::RecordingMessages messages;
    const std::string container = dir.filePath("container.bin").toStdString();
    ASSERT_TRUE(WriteBlockContainer(data, container, nullptr, {}, messages));
    const std::string settingsData = dir.filePath("settings-data.dat").toStdString();
    std::FILE* file = std::fopen(settingsData.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(WriteSettingsDataPart(data, file, nullptr));
    std::fclose(file);
    QFile(dir.filePath("empty.kfd")).open(QIODevice::WriteOnly);
    QFile(dir.filePath("filter.fra")).open(QIODevice::WriteOnly);

    const QMimeDatabase mime;
    struct Case {
        QString file;
        QString type;
    };
    const Case cases[] = {
        {QString::fromStdString(container), "application/x-kurvex"},
        {QString::fromStdString(settingsData), "application/x-kurvex"},
        {dir.filePath("empty.kfd"), "application/x-kurvex"},
        {dir.filePath("filter.fra"), "text/x-kurvex-fra"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mime.mimeTypeForFile(c.file).name().toStdString(), c.type.toStdString())
            << c.file.toStdString();
    EXPECT_TRUE(mime.mimeTypeForName("text/x-kurvex-fra").inherits("text/plain"));
}

}  // namespace
}  // namespace kurvex
