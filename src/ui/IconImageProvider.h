#pragma once

#include <QQuickImageProvider>

namespace pivana {

/// Serves the panel's symbols to QML as "image://icon/NAME/RRGGBB" (or AARRGGBB): the symbol in
/// that colour, at the size the image asks for (16 pixels when it asks for none).
class IconImageProvider : public QQuickImageProvider {
public:
    IconImageProvider();

    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
};

}  // namespace pivana
