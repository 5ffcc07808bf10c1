#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <vector>

#include "graph/GraphCurve.h"

class QClipboard;

namespace kurvex {

// The MIME type of the vector picture.
inline constexpr const char* kSvgMime = "image/svg+xml";

// The screens of a view drawn into a picture of `size`: stacked from the top,
// each an equal share of the height less three lines of the view's text
// height, the last taking the rest; each in its own font, at scale 1, without
// cursors or selection marks. Null for no screens or an empty size.
QImage ScreensImage(const std::vector<CGraphCurve*>& screens, QSize size, int textHeight);
// The same drawing as an SVG document; empty for no screens or an empty size.
QByteArray ScreensSvg(const std::vector<CGraphCurve*>& screens, QSize size, int textHeight);

// The size of the bitmap of a view's client area: less a vertical scroll
// bar's width and a horizontal scroll bar's height.
QSize BitmapSize(QSize client, int scrollBarExtent);

// "Bitmap": the screens as an image of the client area less the scroll bars
// on the clipboard. False (the clipboard untouched) when there is nothing to
// draw or no clipboard.
bool CopyBitmap(const std::vector<CGraphCurve*>& screens, QSize client, int scrollBarExtent,
                int textHeight, QClipboard* clipboard);
// "Metafile format": the screens over the whole client area as SVG, with the
// same picture as an image beside it for programs that paste only images.
bool CopyMetafile(const std::vector<CGraphCurve*>& screens, QSize client, int textHeight,
                  QClipboard* clipboard);

}  // namespace kurvex
