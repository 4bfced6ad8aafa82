#include "util/charset.h"

#include <gtest/gtest.h>

namespace olvix {
namespace {

TEST(CharsetTest, Utf8ToCp866) {
  // "Привет, мир! Ёж" and ASCII stay readable in CP866.
  EXPECT_EQ(
      "\x8f\xe0\xa8\xa2\xa5\xe2, \xac\xa8\xe0! \xf0\xa6 abc",
      Utf8ToCp866("\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82, \xd0\xbc\xd0\xb8\xd1\x80! "
                  "\xd0\x81\xd0\xb6 abc"));
  // A character CP866 lacks (é, €, an emoji): one blank; a byte of a broken
  // sequence: one blank.
  EXPECT_EQ("a b c d e  f", Utf8ToCp866("a\xc3\xa9"
                                        "b\xe2\x82\xac"
                                        "c\xf0\x9f\x98\x80"
                                        "d\xd0"
                                        "e\xc0\xaf"
                                        "f"));
}

}  // namespace
}  // namespace olvix
