#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <set>

namespace {

// Renders a picture at size x size and counts the pixels it covers.
int CoveredPixels(const QString& path, int size) {
    QSvgRenderer renderer(path);
    if (!renderer.isValid()) return -1;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    int covered = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) covered += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
    return covered;
}

// Which buttons have which icon is the viewer's test; here every icon shows.
TEST(Resources, EveryIconIsVisible) {
    const QStringList icons = QDir(QStringLiteral(":/icons")).entryList({"*.svg"});
    EXPECT_TRUE(icons.contains(QStringLiteral("kurvex.svg")));
    for (const QString& name : icons) {
        SCOPED_TRACE(name.toStdString());
        // Drawn, but not a filled square either, at the smallest size a tool bar uses.
        const int covered = CoveredPixels(QStringLiteral(":/icons/") + name, 16);
        EXPECT_GT(covered, 16);
        EXPECT_LT(covered, 16 * 16);
    }
}

TEST(Resources, EveryPointerHasAPictureAndAHotSpotInside) {
    QFile file(QStringLiteral(":/cursors/hotspots.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    std::set<int> seen;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.trimmed().isEmpty()) continue;
        const QList<QByteArray> fields = line.simplified().split(' ');
        ASSERT_EQ(fields.size(), 3) << line.toStdString();
        const int id = fields[0].toInt();
        const int x = fields[1].toInt();
        const int y = fields[2].toInt();
        EXPECT_TRUE(seen.insert(id).second) << id;
        EXPECT_TRUE(x >= 0 && x < 32 && y >= 0 && y < 32) << id;
        const QString path = QStringLiteral(":/cursors/%1.svg").arg(id);
        QSvgRenderer renderer(path);
        ASSERT_TRUE(renderer.isValid()) << id;
        EXPECT_GT(CoveredPixels(path, 32), 32) << id;
    }
    EXPECT_FALSE(seen.empty());
}

}  // namespace
