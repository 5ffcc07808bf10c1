#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QTemporaryDir>
#include <cstdio>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "data/formats/BlockContainerFile.h"
#include "data/formats/SettingsDataFile.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

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
    const CResultDataRef data = test::MakeData({"Time", "V"}, {{0, 1}, {1, 2}});
    test::RecordingMessages messages;
    const std::string container = dir.filePath("container.bin").toStdString();
    ASSERT_TRUE(WriteBlockContainer(data, container, nullptr, {}, messages));
    const std::string settingsData = dir.filePath("settings-data.dat").toStdString();
    test::Spit(settingsData, test::Written([&](std::FILE* f) {
                   return WriteSettingsDataPart(data, f, nullptr);
               }));
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
