#include "ui/IconImageProvider.h"

#include "ui/PanelIcons.h"

#include <algorithm>

namespace pivana {

IconImageProvider::IconImageProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}

QImage IconImageProvider::requestImage(const QString& id, QSize* size, const QSize& requestedSize) {
    constexpr int defaultPixels = 16;
    const QString name = id.section(QLatin1Char('/'), 0, 0);
    const QColor colour = QColor::fromString(u'#' + id.section(QLatin1Char('/'), 1, 1));
    int pixels = std::max(requestedSize.width(), requestedSize.height());
    if (pixels <= 0) {
        pixels = defaultPixels;
    }
    const QImage image = PanelIcons::symbol(name, pixels, colour.isValid() ? colour : Qt::black);
    if (size) {
        *size = image.size();
    }
    return image;
}

}  // namespace pivana
