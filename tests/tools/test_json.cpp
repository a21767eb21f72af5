// ptzctl --json: every command that prints data prints one JSON document on
// one line that an independent parser reads back to the same values, with
// strings escaped. (The cache and send documents are checked with their
// commands.)
#include <gmock/gmock.h>
#include <stdlib.h>

#include "ptzctl_run.h"
#include "velmora_test.h"

using ::testing::HasSubstr;
using velmora::testing::JsonDoc;
using velmora::testing::output_of;
using velmora::testing::run_ptzctl;

class JsonTest : public velmora::testing::PtzctlTest {
 protected:
  void SetUp() override {
    PtzctlTest::SetUp();
    setenv("TAMSEL_STORE", dir_.file("params").c_str(), 1);
  }
  // The output of a command line that must succeed, checked to be one line.
  static std::string one_line(const std::vector<std::string> &args, int status = 0) {
    auto run = run_ptzctl(args);
    EXPECT_EQ(run.status, status) << run.err;
    EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << run.out;
    return run.out;
  }
  velmora::testing::TempDir dir_;
};

TEST_F(JsonTest, VersionVocabularyAndParametersAsDocuments) {
  JsonDoc version(one_line({"--json", "--version"}));
  EXPECT_EQ(version.string("ptzctl"), version.string("library"));
  EXPECT_THAT(output_of({"-V"}), ::testing::MatchesRegex("ptzctl [0-9.]+\nlibvelmora_common [0-9.]+\n"));

  JsonDoc types(one_line({"vocab", "--json"}));
  EXPECT_EQ(types.length(""), 27u);
  EXPECT_EQ(types.text("0"), R"({"type":"PTZCommand","kind":"enum","values":32})");
  JsonDoc rows(one_line({"--json", "vocab", "movecmd"}));
  EXPECT_EQ(rows.text("values/0"), R"({"value":8,"name":"Home","nick":"home"})");
  EXPECT_EQ(rows.length("values"), 10u);
  JsonDoc row(one_line({"vocab", "PTZCommand", "25", "-j"}));
  EXPECT_EQ(row.text(""), R"({"type":"PTZCommand","kind":"enum","value":25,"rows":[{"value":25,)"
                          R"("name":"Get driver property","nick":"set driver property"}]})");
  // A flags word with a bit no row names: the document, and exit status 1.
  JsonDoc split(one_line({"vocab", "--json", "PTZDriverMoveCapabilities", "0x18000001"}, 1));
  EXPECT_EQ(split.text("rows"), R"([{"value":1,"name":"Pan","nick":"pan"}])");
  EXPECT_EQ(split.text("unnamed"), "402653184");

  output_of({"param", "set", "root.PTZ.Rate", " 12 "});
  EXPECT_EQ(JsonDoc(one_line({"param", "get", "--json", "root.PTZ.Rate"})).text(""),
            R"({"path":"root.PTZ.Rate","value":" 12 "})");
  EXPECT_EQ(JsonDoc(one_line({"param", "get", "--int", "--json", "root.PTZ.Rate"})).text("value"), "12");
  EXPECT_EQ(JsonDoc(one_line({"--json", "param", "get", "--bool", "root.PTZ.Rate"})).text("value"), "false");
}

TEST_F(JsonTest, ConfigurationValuesKeepEveryCharacter) {
  // Quotes, backslashes, tabs, newlines, other control characters and
  // non-ASCII text, as the key-file escapes give them.
  std::string conf = dir_.write("a.conf",
                                "[Driver1]\nName=say \"hi\"\\\\ \\t\\n\x01 end \xC3\xA9\nRate=12abc\n"
                                "[Other]\nx=1\n");
  auto text = output_of({"config", conf, "Driver1", "Name"});
  std::string value = "say \"hi\"\\ \t\n\x01 end \xC3\xA9";
  ASSERT_EQ(text, value + "\n");
  std::string json_text = one_line({"config", conf, "Driver1", "Name", "--json"});
  EXPECT_THAT(json_text, HasSubstr(R"("value":"say \"hi\"\\ \t\n\u0001 end )"));
  JsonDoc doc(json_text);
  EXPECT_EQ(doc.string("value"), value);
  EXPECT_EQ(doc.string("group"), "Driver1");

  JsonDoc typed(one_line({"config", conf, "Driver1", "Rate", "--typed", "--json"}));
  EXPECT_EQ(typed.text(""), R"({"group":"Driver1","key":"Rate","value":"12abc","boolean":false,"int64":12,"int":12})");
  JsonDoc group(one_line({"--json", "config", conf, "Driver1"}));
  EXPECT_EQ(group.string("values/Name"), value);
  EXPECT_EQ(group.string("values/Rate"), "12abc");
  JsonDoc all(one_line({"config", "-j", conf}));
  EXPECT_EQ(all.text("groups/Other"), R"({"x":"1"})");
  EXPECT_EQ(all.string("groups/Driver1/Name"), value);
}

TEST_F(JsonTest, CommandsWithoutDataRefuseTheOption) {
  velmora::testing::expect_failures(2, {
                                           {{"param", "set", "--json", "root.PTZ.X", "1"}, "unknown option '--json'"},
                                       });
}
