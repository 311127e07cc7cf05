#include "platform/FreedesktopServices.h"

#include <gtest/gtest.h>

using pivana::FreedesktopServices;

TEST(NotificationBody, NamesAreTextWhereTheServerReadsMarkup) {
    const QString body = QString::fromUtf8("Tom & Jerry <draft>.docx → Tom & Jerry <draft>.pdf");
    EXPECT_EQ(FreedesktopServices::notificationBody(body, {"actions", "body", "body-markup"}),
              QString::fromUtf8(
                  "Tom &amp; Jerry &lt;draft&gt;.docx → Tom &amp; Jerry &lt;draft&gt;.pdf"));
    EXPECT_EQ(FreedesktopServices::notificationBody(body, {"actions", "body"}), body);
    EXPECT_EQ(FreedesktopServices::notificationBody(body, {}), body)
        << "a server that does not answer is sent the text as it is";
}
