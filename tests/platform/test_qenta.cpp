// The structured configuration parser: its grammar and its errors.

#include <errno.h>

#include <string>
#include <tuple>
#include <vector>

#include <qenta.h>
#include "velmora_test.h"
#ifdef VELMORA_PLATFORM_BUNDLED
#include <qenta_testing.h>
#endif

namespace {

using Rec = std::tuple<std::string, std::string, std::string>;  // group, key, value

const std::string kNull = "<NULL>";

std::vector<Rec> drain() {
  std::vector<Rec> records;
  while (const qenta_record *r = qenta_getcfg()) records.push_back({r->group, r->key, r->value ? r->value : kNull});
  qenta_closecfg();
  return records;
}

std::string data_file(const char *name) {
  std::string here = __FILE__;
  return here.substr(0, here.rfind('/')) + "/../settings/data_settings/" + name;
}

TEST(Qenta, DocumentedExampleFlattensToRecordsInFileOrder) {
  ASSERT_NE(qenta_opencfg(data_file("example.cfg").c_str()), 0);
  EXPECT_EQ(drain(), (std::vector<Rec>{
                         {"PTZDriverManager", "NbrOfDrivers", "2"},
                         {"PTZDriverManager", "LogLevel", "info"},
                         {"PTZ.Driver1", "Name", "Dome \"north\""},
                         {"PTZ.Driver1", "Port", "/dev/ttyS0"},
                         {"PTZ.Driver1", "Verbose", kNull},
                         {"PTZ.Driver1", "Note", ""},
                         {"PTZ.Driver2.Lens", "Description", "Zoom\tlens # 1\\2"},
                         {"PTZ.Driver2.Lens", "Vendor", "Caf\xE9"},
                     }));
  EXPECT_EQ(qenta_getcfg(), nullptr);
}

#ifdef VELMORA_PLATFORM_BUNDLED

std::vector<std::string> messages;
void capture(const char *message, void *) { messages.emplace_back(message); }

class Grammar : public ::testing::Test {
 protected:
  void SetUp() override {
    messages.clear();
    qenta_testing_set_log_hook(capture, nullptr);
  }
  void TearDown() override {
    qenta_testing_set_log_hook(nullptr, nullptr);
    qenta_closecfg();
  }
  static std::vector<Rec> parse(const std::string &text) {
    if (!qenta_testing_open_buffer("t.cfg", text.data(), text.size())) return {{"<FAILED>", "", ""}};
    return drain();
  }
};

TEST_F(Grammar, ValidForms) {
  EXPECT_EQ(parse(""), std::vector<Rec>{});
  EXPECT_EQ(parse("# only a comment\n\n   \n"), std::vector<Rec>{});
  // Dotted headers, nesting, blanks around '=' and '{', CRLF line ends,
  // dotted keys and a last line without a newline.
  EXPECT_EQ(parse("a.b{\r\n\tc {\r\n k.x=1\r\n }\r\n y =  two words  \r\n}\r\nz {\n w\n}"),
            (std::vector<Rec>{{"a.b.c", "k.x", "1"}, {"a.b", "y", "two words"}, {"z", "w", kNull}}));
  // Quoted values keep blanks and '#'; every escape; unquoted values keep
  // quotes and backslashes as they stand.
  EXPECT_EQ(parse("g {\n q = \"  # \\\\ \\\" \\' \\n\\t\\r \\x41\\xff \" # c\n u = 'x\\n\"\n}\n"),
            (std::vector<Rec>{{"g", "q", "  # \\ \" ' \n\t\r A\xff "}, {"g", "u", "'x\\n\""}}));
  // Repeated keys and reopened groups are delivered as they come.
  EXPECT_EQ(parse("g {\n k = 1\n}\ng {\n k = 2\n}\n"), (std::vector<Rec>{{"g", "k", "1"}, {"g", "k", "2"}}));
  EXPECT_TRUE(messages.empty());
}

TEST_F(Grammar, MalformedFilesFailWithLineAndReason) {
  const struct {
    std::string text;
    const char *message;
  } cases[] = {
      {"k = v\n", "t.cfg:1: entry outside of any group"},
      {"g {\n}\n}\n", "t.cfg:3: '}' without an open group"},
      {"g {\n  h {\n}\n", "t.cfg:1: group 'g' is not closed"},
      {"g {\n k = \"open\n}\n", "t.cfg:2: unterminated quoted value"},
      {"g {\n k = \"\\q\"\n}\n", "t.cfg:2: unknown escape sequence"},
      {"g {\n k = \"\\x4\"\n}\n", "t.cfg:2: \\x needs two hexadecimal digits"},
      {"g {\n k = \"\\x4", "t.cfg:2: \\x needs two hexadecimal digits"},
      {"g {\n k = \"\\x00\"\n}\n", "t.cfg:2: \\x00 is not allowed"},
      {"g {\n k = \"a\" b\n}\n", "t.cfg:2: unexpected text after quoted value"},
      {"g { k = 1\n}\n", "t.cfg:1: unexpected text after '{'"},
      {"g {\n} x\n", "t.cfg:2: unexpected text after '}'"},
      {"g {\n = 1\n}\n", "t.cfg:2: expected a group name or a key"},
      {"a..b {\n}\n", "t.cfg:1: empty name between dots"},
      {"g {\n k v\n}\n", "t.cfg:2: expected '=', '{' or the end of the line"},
      {"g {\n k = a\x01"
       "b\n}\n",
       "t.cfg:2: control character in value"},
      {"g {\n k = \"a\x1b\"\n}\n", "t.cfg:2: control character in value"},
      {std::string("g {\n\n k = a\0b\n}\n", 14), "t.cfg:3: NUL byte in file"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text);
    messages.clear();
    errno = 0;
    EXPECT_EQ(qenta_testing_open_buffer("t.cfg", c.text.data(), c.text.size()), 0);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(messages, std::vector<std::string>{std::string("qenta: ") + c.message});
    EXPECT_EQ(qenta_getcfg(), nullptr);
  }
}

TEST_F(Grammar, NestingIsBounded) {
  std::string deep, closing;
  for (int i = 0; i < 64; i++) deep += "g {\n", closing += "}\n";
  EXPECT_EQ(parse(deep + "k = v\n" + closing).size(), 1u);
  EXPECT_EQ(std::get<0>(parse(deep + "g {\n" + closing + "}\n")[0]), "<FAILED>");
  EXPECT_EQ(messages, std::vector<std::string>{"qenta: t.cfg:65: groups nested too deeply"});
}

#endif  // VELMORA_PLATFORM_BUNDLED

}  // namespace
