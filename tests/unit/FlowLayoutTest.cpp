#include "ui/FlowLayout.h"
#include "ui/PickerRules.h"

#include <gtest/gtest.h>

#include <QStringList>

using namespace pivana;

TEST(FlowLayoutRules, WrapsWhenTheNextChipWouldPassTheEdge) {
    const FlowLayout layout{5};
    const std::vector<QSizeF> five(5, QSizeF(40, 20));
    EXPECT_EQ(layout.sizeThatFits(five, 120), QSizeF(120, 70));
    EXPECT_EQ(layout.place(five, {0, 0}, 120),
              (std::vector<QPointF>{{0, 0}, {45, 0}, {0, 25}, {45, 25}, {0, 50}}));
    // Exactly touching the edge stays on the line: 40 + 5 + 40 + 5 + 40 = 130.
    EXPECT_EQ(layout.place(std::vector<QSizeF>(3, QSizeF(40, 20)), {10, 10}, 130),
              (std::vector<QPointF>{{10, 10}, {55, 10}, {100, 10}}));
}

TEST(FlowLayoutRules, WideChipsOverflowAloneAndEmptyHasNoHeight) {
    const FlowLayout layout{5};
    EXPECT_EQ(layout.sizeThatFits({QSizeF(150, 22)}, 120), QSizeF(120, 22));
    EXPECT_EQ(layout.place({QSizeF(150, 22)}, {0, 0}, 120), (std::vector<QPointF>{{0, 0}}));
    EXPECT_EQ(layout.sizeThatFits({}, 120), QSizeF(120, 0));
    EXPECT_EQ(layout.sizeThatFits({QSizeF(100, 20), QSizeF(100, 20), QSizeF(100, 20)}, -1),
              QSizeF(260, 45));
    // Lines are as tall as their tallest chip, top-aligned.
    EXPECT_EQ(layout.place({QSizeF(40, 30), QSizeF(40, 10), QSizeF(100, 10)}, {0, 0}, 100),
              (std::vector<QPointF>{{0, 0}, {45, 0}, {0, 35}}));
}

TEST(PickerEnableRules, OnlyConvertibleFilesOfTheFirstSelectedKind) {
    using PickerRules::shouldEnable;
    EXPECT_TRUE(shouldEnable("/p/Photos", true, FileCategory::Audio)) << "folders always open";
    EXPECT_TRUE(shouldEnable("/p/IMG_1.JPG", false, std::nullopt));
    EXPECT_TRUE(shouldEnable("/p/song.mp3", false, std::nullopt));
    EXPECT_FALSE(shouldEnable("/p/archive.zip", false, std::nullopt));
    EXPECT_FALSE(shouldEnable("/p/scan.tif", false, std::nullopt));

    const auto first = PickerRules::firstCategory({"/p/IMG_1.JPG", "/p/song.mp3"});
    EXPECT_EQ(first, FileCategory::Image);
    EXPECT_TRUE(shouldEnable("/p/raw.CR2", false, first));
    EXPECT_FALSE(shouldEnable("/p/song.mp3", false, first));
    EXPECT_FALSE(shouldEnable("/p/clip.mov", false, first));
    EXPECT_FALSE(PickerRules::firstCategory({}).has_value());
    EXPECT_FALSE(PickerRules::firstCategory({"/p/notes.zip"}).has_value());
}
