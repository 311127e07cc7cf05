#include "media/Vips.h"

#include <gtest/gtest.h>
#include <vips/vips.h>

using pivana::media::takeVipsError;

TEST(VipsErrors, EachFailureReadsAsItsOwnPlainSentence) {
    ASSERT_TRUE(pivana::media::ensureVipsStarted("vips_test"));
    EXPECT_EQ(takeVipsError(), "unknown libvips error");

    // Two failures pile up in libvips' buffer; the first line is the one that stopped the work.
    vips_error("vips2png", "%s", "unable to write to target out.png");
    vips_error("VipsForeignSave", "%s", "save failed");
    EXPECT_EQ(takeVipsError(), "unable to write to target out.png");

    // Taken once, gone: the next failure does not repeat the last one's text.
    vips_error("jpegload", "%s", "Premature end of JPEG file: 20 bytes missing");
    EXPECT_EQ(takeVipsError(), "Premature end of JPEG file: 20 bytes missing")
        << "a colon inside the sentence stays";
    EXPECT_EQ(takeVipsError(), "unknown libvips error");
}
