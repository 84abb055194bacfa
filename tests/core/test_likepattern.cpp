#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "vlt/likepattern.h"

namespace vlt {
namespace {

struct FindRow {
  std::string_view typed;
  std::string_view value;    // what the report filters on
  std::string_view pattern;  // what goes into the statement
};

class LikeFindPatternTest : public ::testing::TestWithParam<FindRow> {};

TEST_P(LikeFindPatternTest, QuotesTrimsAndMakesWildcardsPlain) {
  const FindRow& r = GetParam();
  EXPECT_EQ(trimFindValue(r.typed), r.value);
  EXPECT_EQ(likeFindPattern(r.typed), r.pattern);
}

INSTANTIATE_TEST_SUITE_P(
    Typed, LikeFindPatternTest,
    ::testing::Values(FindRow{"螺丝", "螺丝", "'%螺丝%' ESCAPE '!'"},
                      FindRow{"  华强 \t", "华强", "'%华强%' ESCAPE '!'"},
                      // The ideographic space and NBSP an input method leaves around a name.
                      FindRow{"\xE3\x80\x80华强\xC2\xA0", "华强", "'%华强%' ESCAPE '!'"},
                      FindRow{"a\xE3\x80\x80"
                              "b",
                              "a\xE3\x80\x80"
                              "b",
                              "'%a\xE3\x80\x80"
                              "b%' ESCAPE '!'"},
                      FindRow{"50%", "50%", "'%50!%%' ESCAPE '!'"},
                      FindRow{"a_b", "a_b", "'%a!_b%' ESCAPE '!'"},
                      FindRow{"hi!", "hi!", "'%hi!!%' ESCAPE '!'"},
                      FindRow{"it's", "it's", "'%it''s%' ESCAPE '!'"},
                      FindRow{"' or 1=1 -- ", "' or 1=1 --", "'%'' or 1=1 --%' ESCAPE '!'"},
                      // Backslashes are plain characters on this server and in this pattern.
                      FindRow{"C:\\x\\", "C:\\x\\", "'%C:\\x\\%' ESCAPE '!'"},
                      FindRow{std::string_view("a\0b", 3), "ab", "'%ab%' ESCAPE '!'"},
                      FindRow{" \r\n", "", "'%%' ESCAPE '!'"}, FindRow{"", "", "'%%' ESCAPE '!'"}));

}  // namespace
}  // namespace vlt
