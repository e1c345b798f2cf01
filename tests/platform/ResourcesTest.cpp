#include <gtest/gtest.h>

#include "platform/Resources.h"

using platform::FindResource;

TEST(Resources, UnknownIdsAndNamesAreNotFound) {
  EXPECT_FALSE(FindResource("HEX", 1));
  EXPECT_FALSE(FindResource("HEX", "#1"));
  EXPECT_FALSE(FindResource("HEX", "3032"));
  EXPECT_FALSE(FindResource("HEX", "#"));
  EXPECT_FALSE(FindResource("HEX", "#30x2"));
  EXPECT_FALSE(FindResource("HEX", "#99999999999"));
}
