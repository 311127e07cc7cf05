#include "ui/PanelIcons.h"

#include <QIconEngine>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <array>

namespace pivana::PanelIcons {

namespace {

// The sizes our drawings are made for, largest first.
constexpr std::array designs = {24, 22, 16};

struct Symbol {
    const char* name;
    // Names in the freedesktop icon naming scheme, the one-colour ("-symbolic") forms first.
    std::array<const char*, 3> themeNames;
};

const std::array<Symbol, 9> symbols = {{
    {"arrowDown", {"go-down-symbolic", "go-down", nullptr}},
    {"checkmark", {"object-select-symbolic", "dialog-ok", nullptr}},
    {"gear", {"emblem-system-symbolic", "settings-configure", "preferences-system-symbolic"}},
    {"power", {"system-shutdown-symbolic", "system-shutdown", nullptr}},
    {"clockwise", {"view-refresh-symbolic", "view-refresh", nullptr}},
    {"xmark", {"window-close-symbolic", "window-close", nullptr}},
    {"back", {"go-previous-symbolic", "go-previous", nullptr}},
    {"warning", {"dialog-warning-symbolic", "dialog-warning", nullptr}},
    {"chevronDown", {"pan-down-symbolic", "arrow-down", nullptr}},
}};

const Symbol* findSymbol(const QString& name) {
    const auto found = std::find_if(symbols.begin(), symbols.end(),
                                    [&name](const Symbol& symbol) { return name == symbol.name; });
    return found == symbols.end() ? nullptr : &*found;
}

int designFor(int pixels) {
    for (const int design : designs) {
        if (pixels % design == 0) {
            return design;
        }
    }
    for (const int design : designs) {
        if (design <= pixels) {
            return design;
        }
    }
    return designs.back();
}

QImage transparent(int pixels) {
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// Whether every visible pixel has about the same colour: a symbol drawn in one ink, which can
// take ours.
bool oneColour(const QImage& image) {
    const QImage pixels = image.convertToFormat(QImage::Format_ARGB32);
    int low[3] = {255, 255, 255};
    int high[3] = {0, 0, 0};
    bool inked = false;
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        for (int x = 0; x < pixels.width(); ++x) {
            if (qAlpha(line[x]) < 128) {
                continue;
            }
            inked = true;
            const int channels[3] = {qRed(line[x]), qGreen(line[x]), qBlue(line[x])};
            for (int c = 0; c < 3; ++c) {
                low[c] = std::min(low[c], channels[c]);
                high[c] = std::max(high[c], channels[c]);
            }
        }
    }
    constexpr int spread = 48;
    return inked && high[0] - low[0] <= spread && high[1] - low[1] <= spread &&
           high[2] - low[2] <= spread;
}

// A theme icon that exists only at other sizes comes back smaller: centred, not stretched.
QImage centred(const QImage& image, int pixels) {
    if (image.width() == pixels && image.height() == pixels) {
        return image;
    }
    QImage canvas = transparent(pixels);
    const QImage fitted =
        image.width() > pixels || image.height() > pixels
            ? image.scaled(pixels, pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation)
            : image;
    QPainter painter(&canvas);
    painter.drawImage((pixels - fitted.width()) / 2, (pixels - fitted.height()) / 2, fitted);
    return canvas;
}

QImage tinted(QImage image, const QColor& colour) {
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), colour);
    return image;
}

// Draws our icons at whatever size a tray asks for.
class DrawingEngine final : public QIconEngine {
public:
    explicit DrawingEngine(QString name) : m_name(std::move(name)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        const int side = std::min(rect.width(), rect.height());
        QImage image = drawing(m_name, qRound(side * ratio));
        image.setDevicePixelRatio(ratio);
        painter->drawImage(QPointF(rect.x() + (rect.width() - side) / 2.0,
                                   rect.y() + (rect.height() - side) / 2.0),
                           image);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
        return QPixmap::fromImage(drawing(m_name, std::min(size.width(), size.height())));
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        return {side, side};
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        return {{16, 16}, {22, 22}, {24, 24}, {32, 32}, {44, 44}, {48, 48}};
    }

    QIconEngine* clone() const override { return new DrawingEngine(m_name); }
    QString key() const override { return QStringLiteral("pivana-drawing"); }

private:
    QString m_name;
};

}  // namespace

QImage drawing(const QString& name, int pixels) {
    QImage image = transparent(std::max(1, pixels));
    QSvgRenderer design(
        QStringLiteral(":/Pivana/icons/%1/%2.svg").arg(designFor(pixels)).arg(name));
    if (design.isValid()) {
        QPainter painter(&image);
        design.render(&painter, QRectF(image.rect()));
    }
    return image;
}

QImage themeSymbol(const QString& name, int pixels) {
    const Symbol* symbol = findSymbol(name);
    if (!symbol) {
        return {};
    }
    for (const char* themeName : symbol->themeNames) {
        if (!themeName || !QIcon::hasThemeIcon(QLatin1String(themeName))) {
            continue;
        }
        const QImage image =
            QIcon::fromTheme(QLatin1String(themeName)).pixmap(QSize(pixels, pixels), 1.0).toImage();
        if (!image.isNull() && oneColour(image)) {
            return centred(image, pixels);
        }
    }
    return {};
}

QImage symbol(const QString& name, int pixels, const QColor& colour) {
    if (!findSymbol(name)) {
        return transparent(std::max(1, pixels));
    }
    const QImage themed = themeSymbol(name, pixels);
    return tinted(themed.isNull() ? drawing(name, pixels) : themed, colour);
}

QIcon trayIcon(bool converting) {
    return QIcon(
        new DrawingEngine(converting ? QStringLiteral("tray-converting") : QStringLiteral("tray")));
}

}  // namespace pivana::PanelIcons
