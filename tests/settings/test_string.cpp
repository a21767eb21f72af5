// CamelCase name conversion: word boundaries, separators and the length cap.
#include <string>

#include "ptz_string.h"
#include "velmora_test.h"

namespace {

std::string convert(const char *name, gchar token) {
  gchar *result = CamelCase2token(name, token);
  std::string out = result;
  g_free(result);
  return out;
}

std::string hyphen(const char *name) {
  gchar *result = CamelCase2hyphen(name);
  std::string out = result;
  g_free(result);
  return out;
}

std::string uscore(const char *name) {
  gchar *result = CamelCase2uscore(name);
  std::string out = result;
  g_free(result);
  return out;
}

}  // namespace

TEST(NameConversion, SeparatorGoesOnlyBetweenLowerAndUpperCaseLetters) {
  EXPECT_EQ(hyphen("PanTiltZoom"), "pan-tilt-zoom");
  EXPECT_EQ(uscore("PanTiltZoom"), "pan_tilt_zoom");
  EXPECT_EQ(convert("PanTiltZoom", '.'), "pan.tilt.zoom");
  EXPECT_EQ(hyphen("maxSpeed"), "max-speed");
  EXPECT_EQ(hyphen("aB"), "a-b");
  // A run of capitals is one word; digits never start one.
  EXPECT_EQ(hyphen("PTZDriverManager"), "ptzdriver-manager");
  EXPECT_EQ(hyphen("ABCdef"), "abcdef");
  EXPECT_EQ(hyphen("Pan2Tilt"), "pan2tilt");
  // Only ASCII letters are classified and lowered; other bytes pass through.
  EXPECT_EQ(hyphen("caf\xc3\xa9" "Bar_X"), "caf\xc3\xa9" "bar_x");
  EXPECT_EQ(hyphen("\xc3\x89Tat"), "\xc3\x89tat");
}

TEST(NameConversion, ShortInputs) {
  EXPECT_EQ(hyphen(""), "");
  EXPECT_EQ(hyphen("Q"), "q");
  EXPECT_EQ(hyphen("q"), "q");
  EXPECT_EQ(hyphen("-"), "-");
}

TEST(NameConversion, LongNamesAreCut) {
  std::string sixty(60, 'a');
  EXPECT_EQ(hyphen(sixty.c_str()), std::string(48, 'a'));
  // A separator written as the 48th character still lets its letter in.
  std::string name = std::string(47, 'a') + "BCD";
  EXPECT_EQ(hyphen(name.c_str()), std::string(47, 'a') + "-b");
  // A word may be cut after its first letter: 49 characters at most.
  std::string words;
  for (int i = 0; i < 20; i++) words += "Ab";
  std::string expected = "ab";
  for (int i = 1; i < 16; i++) expected += "-ab";
  expected += "-a";
  EXPECT_EQ(hyphen(words.c_str()), expected);
  EXPECT_EQ(expected.size(), 49u);
}

TEST(NameConversionDeathTest, NullNameIsAProgrammingError) {
  EXPECT_DEATH(g_free(CamelCase2token(nullptr, '-')), "CamelCase != NULL");
}
