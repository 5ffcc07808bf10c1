#include "app/ClipboardPicture.h"

#include <QBuffer>
#include <QClipboard>
#include <QMimeData>
#include <QPainter>
#include <QSvgGenerator>

#include "app/ScreenOutput.h"
#include "controls/QPainterCanvas.h"
#include "graph/PageGeometry.h"

namespace kurvex {

namespace {

void DrawAll(QPainter& painter, const std::vector<CGraphCurve*>& screens, QSize size,
             int textHeight) {
    QPainterCanvas canvas(painter);
    const Rect area{0, 0, size.width(), size.height()};
    const auto count = static_cast<std::int32_t>(screens.size());
    DrawScreensAt(canvas, screens, SplitScreens(area, count, 3 * textHeight), OutputDraw{});
}

bool Drawable(const std::vector<CGraphCurve*>& screens, QSize size) {
    return !screens.empty() && size.width() > 0 && size.height() > 0;
}

}  // namespace

QImage ScreensImage(const std::vector<CGraphCurve*>& screens, QSize size, int textHeight) {
    if (!Drawable(screens, size)) return {};
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) return {};
    image.fill(Qt::white);
    QPainter painter(&image);
    DrawAll(painter, screens, size, textHeight);
    return image;
}

QByteArray ScreensSvg(const std::vector<CGraphCurve*>& screens, QSize size, int textHeight) {
    if (!Drawable(screens, size)) return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(QStringLiteral("Kurvex"));
    svg.setDescription(QStringLiteral("Kurvex"));
    QPainter painter;
    if (!painter.begin(&svg)) return {};
    DrawAll(painter, screens, size, textHeight);
    painter.end();
    return bytes;
}

QSize BitmapSize(QSize client, int scrollBarExtent) {
    return {std::max(0, client.width() - scrollBarExtent),
            std::max(0, client.height() - scrollBarExtent)};
}

bool CopyBitmap(const std::vector<CGraphCurve*>& screens, QSize client, int scrollBarExtent,
                int textHeight, QClipboard* clipboard) {
    if (!clipboard) return false;
    const QImage image = ScreensImage(screens, BitmapSize(client, scrollBarExtent), textHeight);
    if (image.isNull()) return false;
    clipboard->setImage(image);
    return true;
}

bool CopyMetafile(const std::vector<CGraphCurve*>& screens, QSize client, int textHeight,
                  QClipboard* clipboard) {
    if (!clipboard) return false;
    const QByteArray svg = ScreensSvg(screens, client, textHeight);
    const QImage image = ScreensImage(screens, client, textHeight);
    if (svg.isEmpty() || image.isNull()) return false;
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(kSvgMime), svg);
    mime->setImageData(image);
    clipboard->setMimeData(mime);
    return true;
}

}  // namespace kurvex
