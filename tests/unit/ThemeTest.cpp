// The panel's colours in palettes desktops hand us, light and dark, kind and unkind.
#include "support/TestSupport.h"
#include "ui/Theme.h"
#include "ui/ThemeColours.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QSignalSpy>

using namespace pivana;

namespace {

QPalette palette(const char* window, const char* text, const char* base, const char* highlight,
                 const char* onHighlight) {
    QPalette colours;
    for (const auto& [role, colour] : {std::pair{QPalette::Window, window},
                                       {QPalette::Button, window},
                                       {QPalette::WindowText, text},
                                       {QPalette::Text, text},
                                       {QPalette::ButtonText, text},
                                       {QPalette::Base, base},
                                       {QPalette::Highlight, highlight},
                                       {QPalette::HighlightedText, onHighlight}}) {
        colours.setColor(role, QColor(colour));
    }
    return colours;
}

struct Desktop {
    const char* name;
    QPalette palette;
};

const QPalette breeze = palette("#eff0f1", "#232629", "#ffffff", "#3daee9", "#ffffff");
const QPalette breezeDark = palette("#202326", "#fcfcfc", "#141618", "#3daee9", "#fcfcfc");

std::vector<Desktop> desktops() {
    return {
        {"Qt's own light palette", palette("#efefef", "#000000", "#ffffff", "#308cc6", "#ffffff")},
        {"Breeze", breeze},
        {"Breeze Dark", breezeDark},
        {"dark with a deep blue highlight",
         palette("#2b2b2b", "#dddddd", "#1e1e1e", "#1b3a70", "#ffffff")},
        {"light with a pale yellow highlight under black text",
         palette("#f6f5f4", "#2e3436", "#ffffff", "#ffe066", "#000000")},
        {"grey on grey", palette("#808080", "#9a9a9a", "#8a8a8a", "#7f7f7f", "#858585")},
    };
}

QString describe(const QColor& colour) {
    return colour.name(QColor::HexArgb);
}

}  // namespace

TEST(Theme, ContrastFollowsTheWcagFormula) {
    EXPECT_NEAR(contrastRatio(Qt::black, Qt::white), 21.0, 1e-9);
    EXPECT_NEAR(contrastRatio(QColor("#767676"), Qt::white), 4.54, 0.01);
    EXPECT_NEAR(contrastRatio(QColor("#3daee9"), QColor("#3daee9")), 1.0, 1e-9);
    // Grey at half strength over white is a light grey; over black, a dark one.
    EXPECT_NEAR(worstContrast(QColor(0, 0, 0, 128), QColor(255, 255, 255, 0)), 1.0, 1e-9);
    EXPECT_GT(worstContrast(Qt::black, QColor(255, 255, 255, 242)), 15.0);
}

TEST(Theme, EveryTextAndEveryControlStandsOutInEveryPalette) {
    for (const Desktop& desktop : desktops()) {
        for (const ColourPair& pair : colourPairs(themeColours(desktop.palette))) {
            EXPECT_GE(worstContrast(pair.foreground, pair.background), pair.minimum)
                << desktop.name << ": " << pair.what << ", " << describe(pair.foreground) << " on "
                << describe(pair.background);
        }
    }
}

TEST(Theme, TheHighlightIsTheAccentAndMovesOnlyAsFarAsItMust) {
    // Breeze's blue stands out from a dark panel as it is.
    const ThemeColours dark = themeColours(breezeDark);
    EXPECT_TRUE(dark.dark);
    EXPECT_EQ(dark.accent, QColor("#3daee9"));
    EXPECT_EQ(dark.primary, QColor("#fcfcfc"));
    EXPECT_EQ(dark.panelOpaque, QColor("#202326"));

    // On a light panel the same blue is too pale: a darker blue of the same hue, not another
    // colour.
    const ThemeColours light = themeColours(breeze);
    EXPECT_FALSE(light.dark);
    for (const QColor& shade : {light.accent, light.accentText, light.button}) {
        EXPECT_NEAR(shade.hsvHueF(), QColor("#3daee9").hsvHueF(), 0.02) << describe(shade);
        EXPECT_LT(shade.lightnessF(), QColor("#3daee9").lightnessF()) << describe(shade);
    }
    EXPECT_EQ(light.onButton, QColor("#ffffff")) << "the text on a highlight keeps its colour";
}

TEST(Theme, FollowsTheDesktopWhenItsPaletteChanges) {
    const QPalette before = QGuiApplication::palette();
    QGuiApplication::setPalette(breeze);
    Theme theme;
    EXPECT_FALSE(theme.dark());
    QSignalSpy changed(&theme, &Theme::changed);
    QGuiApplication::setPalette(breezeDark);
    EXPECT_GE(changed.count(), 1);
    EXPECT_TRUE(theme.dark());
    EXPECT_EQ(theme.accent(), QColor("#3daee9"));
    QGuiApplication::setPalette(before);
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
