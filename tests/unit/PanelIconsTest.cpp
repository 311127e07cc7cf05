// The panel's symbols, from an icon theme or our own drawings, and the tray icon.
#include "support/TestSupport.h"
#include "ui/IconImageProvider.h"
#include "ui/PanelIcons.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QSvgRenderer>

using namespace pivana;
using namespace pivana::test;

namespace {

const QStringList symbols = {"arrowDown", "checkmark", "gear",    "power",      "clockwise",
                             "xmark",     "back",      "warning", "chevronDown"};
const QStringList drawings = symbols + QStringList{"tray", "tray-converting"};

// The design made for `design` pixels, drawn at `pixels`.
QImage drawnFrom(int design, const QString& name, int pixels) {
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer svg(QStringLiteral(":/Pivana/icons/%1/%2.svg").arg(design).arg(name));
    EXPECT_TRUE(svg.isValid()) << name << " at " << design;
    QPainter painter(&image);
    svg.render(&painter, QRectF(image.rect()));
    return image;
}

// A small icon theme on disk: a one-colour "go-down-symbolic" (a filled square) and a coloured
// "view-refresh" (two colours), nothing else.
class IconTheme {
public:
    IconTheme() {
        m_scratch.write("icons/Plain/index.theme",
                        "[Icon Theme]\nName=Plain\nDirectories=scalable/actions\n\n"
                        "[scalable/actions]\nSize=16\nMinSize=8\nMaxSize=256\nType=Scalable\n");
        m_scratch.write("icons/Plain/scalable/actions/go-down-symbolic.svg",
                        "<svg xmlns='http://www.w3.org/2000/svg' width='16' height='16'>"
                        "<rect x='4' y='4' width='8' height='8' fill='#2e3436'/></svg>");
        m_scratch.write("icons/Plain/scalable/actions/view-refresh.svg",
                        "<svg xmlns='http://www.w3.org/2000/svg' width='16' height='16'>"
                        "<rect width='8' height='16' fill='#3465a4'/>"
                        "<rect x='8' width='8' height='16' fill='#73d216'/></svg>");
        m_paths = QIcon::themeSearchPaths();
        m_name = QIcon::themeName();
        QIcon::setThemeSearchPaths({m_scratch.path("icons")});
        QIcon::setThemeName("Plain");
    }
    ~IconTheme() {
        QIcon::setThemeSearchPaths(m_paths);
        QIcon::setThemeName(m_name);
    }

private:
    Scratch m_scratch;
    QStringList m_paths;
    QString m_name;
};

QImage tinted(const QImage& image, const QColor& colour) {
    QImage result = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(result.rect(), colour);
    return result;
}

}  // namespace

TEST(PanelIcons, EachSizeIsDrawnFromTheDesignMadeForIt) {
    // Scaling one design to every size would put its lines between pixels: 16, 22 and 24 have
    // designs of their own, and a doubled screen draws them twice as large.
    for (const QString& name : drawings) {
        for (const auto& [pixels, design] :
             {std::pair{16, 16}, {22, 22}, {24, 24}, {32, 16}, {44, 22}, {48, 24}, {20, 16}}) {
            EXPECT_EQ(PanelIcons::drawing(name, pixels), drawnFrom(design, name, pixels))
                << name << " at " << pixels;
        }
    }
}

TEST(PanelIcons, TheThemesOneColourSymbolsAreUsedAndColouredIconsPassedOver) {
    const QColor red("#d01010");
    {
        const IconTheme theme;
        const QImage down = PanelIcons::symbol("arrowDown", 16, red);
        EXPECT_EQ(down.pixelColor(5, 5), red) << "the theme's square, in our colour";
        EXPECT_EQ(qAlpha(down.pixel(1, 1)), 0);
        // A coloured icon would be a blot once tinted: our own drawing instead.
        EXPECT_EQ(PanelIcons::symbol("clockwise", 16, red),
                  tinted(PanelIcons::drawing("clockwise", 16), red));
        EXPECT_EQ(PanelIcons::symbol("gear", 16, red),
                  tinted(PanelIcons::drawing("gear", 16), red));
    }
    EXPECT_EQ(PanelIcons::symbol("arrowDown", 16, red),
              tinted(PanelIcons::drawing("arrowDown", 16), red));
    EXPECT_EQ(qAlpha(PanelIcons::symbol("nonsense", 16, red).pixel(8, 8)), 0);

    // What QML asks for: a name, a colour, and the pixels the screen needs.
    IconImageProvider provider;
    QSize size;
    const QImage gear = provider.requestImage("gear/0a6cff", &size, QSize(32, 32));
    EXPECT_EQ(size, QSize(32, 32));
    EXPECT_EQ(gear, tinted(PanelIcons::drawing("gear", 32), QColor("#0a6cff")));
    EXPECT_EQ(provider.requestImage("xmark/80000000", &size, QSize()).size(), QSize(16, 16));
}

TEST(PanelIcons, TheTrayGetsADrawingMadeForEachSizeItAsksFor) {
    for (const bool converting : {false, true}) {
        const QIcon icon = PanelIcons::trayIcon(converting);
        const QString name = converting ? "tray-converting" : "tray";
        for (const int size : {16, 22, 24, 32, 44, 48}) {
            EXPECT_EQ(icon.pixmap(QSize(size, size), 1.0).toImage(),
                      PanelIcons::drawing(name, size))
                << name << " at " << size;
        }
        // A tray host that paints into its own square gets the icon drawn at that size.
        QImage tray(22, 22, QImage::Format_ARGB32_Premultiplied);
        tray.fill(Qt::transparent);
        QPainter painter(&tray);
        icon.paint(&painter, tray.rect());
        painter.end();
        EXPECT_EQ(tray, PanelIcons::drawing(name, 22)) << name;
    }
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
