#include "platform/StatusNotifierTypes.h"

#include <gtest/gtest.h>

#include <QDBusMetaType>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>

using namespace pivana::sni;

namespace {

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (const int value : values) {
        out.append(static_cast<char>(value));
    }
    return out;
}

}  // namespace

TEST(StatusNotifierTypes, SignaturesAreTheOnesHostsRead) {
    registerTypes();
    EXPECT_STREQ(QDBusMetaType::typeToSignature(QMetaType::fromType<IconPixmaps>()), "a(iiay)");
    EXPECT_STREQ(QDBusMetaType::typeToSignature(QMetaType::fromType<ToolTip>()), "(sa(iiay)ss)");
    EXPECT_STREQ(QDBusMetaType::typeToSignature(QMetaType::fromType<MenuLayoutItem>()),
                 "(ia{sv}av)");
    EXPECT_STREQ(QDBusMetaType::typeToSignature(QMetaType::fromType<MenuItemPropertiesList>()),
                 "a(ia{sv})");
    EXPECT_STREQ(QDBusMetaType::typeToSignature(QMetaType::fromType<MenuEvents>()), "a(isvu)");
}

TEST(StatusNotifierTypes, PixmapsAreBigEndianArgbAtTraySizes) {
    // Clear in the top half, an opaque colour in the bottom half.
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 32; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            image.setPixel(x, y, qRgba(0x10, 0x80, 0xf0, 0xff));
        }
    }
    const IconPixmaps pixmaps = iconPixmaps(QIcon(QPixmap::fromImage(image)));
    ASSERT_EQ(pixmaps.size(), 4);
    for (qsizetype i = 0; i < pixmaps.size(); ++i) {
        const IconPixmap& pixmap = pixmaps[i];
        const int side = std::array{16, 22, 24, 32}[static_cast<size_t>(i)];
        SCOPED_TRACE(side);
        EXPECT_EQ(pixmap.width, side);
        EXPECT_EQ(pixmap.height, side);
        ASSERT_EQ(pixmap.pixels.size(), side * side * 4);
        EXPECT_EQ(pixmap.pixels.first(4), bytes({0, 0, 0, 0}));
        EXPECT_EQ(pixmap.pixels.last(4), bytes({0xff, 0x10, 0x80, 0xf0})) << "alpha first";
    }
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
