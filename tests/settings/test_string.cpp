// CamelCase name conversion: word boundaries, separators and the length cap.
#include <string>

#include "ptz_string.h"
#include "velmora_test.h"

namespace {

std::string take(gchar *result) {
  std::string out = result;
  g_free(result);
  return out;
}

std::string hyphen(const std::string &name) { return take(CamelCase2hyphen(name.c_str())); }

}  // namespace

TEST(NameConversion, WordBoundariesAndSeparators) {
  EXPECT_EQ(hyphen("PanTiltZoom"), "pan-tilt-zoom");
  EXPECT_EQ(take(CamelCase2uscore("PanTiltZoom")), "pan_tilt_zoom");
  EXPECT_EQ(take(CamelCase2token("PanTiltZoom", '.')), "pan.tilt.zoom");
  EXPECT_EQ(hyphen("maxSpeed"), "max-speed");
  EXPECT_EQ(hyphen("aB"), "a-b");
  // A run of capitals is one word; digits and non-ASCII bytes never end one.
  EXPECT_EQ(hyphen("PTZDriverManager"), "ptzdriver-manager");
  EXPECT_EQ(hyphen("ABCdef"), "abcdef");
  EXPECT_EQ(hyphen("Pan2Tilt"), "pan2tilt");
  EXPECT_EQ(hyphen("caf\xc3\xa9"
                   "Bar"),
            "caf\xc3\xa9"
            "bar");
  EXPECT_EQ(hyphen("Q"), "q");
  EXPECT_EQ(hyphen(""), "");
}

TEST(NameConversion, LongNamesAreCut) {
  EXPECT_EQ(hyphen(std::string(60, 'a')), std::string(48, 'a'));
  // A separator written as the 48th character still lets its letter in.
  EXPECT_EQ(hyphen(std::string(47, 'a') + "BCD"), std::string(47, 'a') + "-b");
}

TEST(NameConversionDeathTest, NullNameIsAProgrammingError) {
  EXPECT_DEATH(g_free(CamelCase2token(nullptr, '-')), "CamelCase != NULL");
}
