#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "toolbox/toolbox_fixture.h"
#include "toolbox/toolbox_templates.h"
#include "toolbox/toolbox_text.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

class ModelFiles : public testing::toolbox_test {
 protected:
  void SetUp() override {
    testing::toolbox_test::SetUp();
    ASSERT_EQ(read_case(), 0);
  }
  // Reads basin.out with the given instructions into slot 1; the code.
  int read_output(const std::string& instructions, const std::string& output) {
    testing::write_file("basin.ins", instructions);
    testing::write_file("basin.out", output);
    for (int i = 1; i <= pc.nobs; ++i) pc.observations[i].model_value[1] = -1.0;
    int code = open_instruction_files(pc, streams);
    if (code == 0) code = slm_read_instructions(pc, streams, 1, 1);
    return code;
  }
  double value(int obs) const { return pc.observations[obs].model_value[1]; }
  toolbox_streams streams;
};

TEST_F(ModelFiles, TwentyFiveFilesAreAcceptedTheTwentySixthRefused) {
  pc.templates.resize(1);
  pc.instructions.resize(1);
  for (int i = 1; i <= 26; ++i) {
    const std::string n = std::to_string(i);
    testing::write_file("t" + n + ".tpl", "ptf $\nvalue $k1$\n");
    testing::write_file("i" + n + ".ins", "pif ~\n!q1!\n");
    pc.templates.push_back({"t" + n + ".tpl", "in" + n, {}, 0, {}});
    pc.instructions.push_back({"i" + n + ".ins", "out" + n});
  }
  pc.ntplfle = pc.ninsfle = 25;
  EXPECT_EQ(open_template_files(pc, streams), 0);
  EXPECT_EQ(read_template_files(pc, streams), 0);
  EXPECT_EQ(open_instruction_files(pc, streams), 0);

  pc.ntplfle = pc.ninsfle = 26;
  CaptureStdout();
  EXPECT_EQ(open_template_files(pc, streams), toolbox_msg::too_many_templates);
  EXPECT_EQ(GetCapturedStdout(),
            "\n\nCurrently, slm_dru does not support more than 25 template files.\nPlease modify "
            "and recompile the code to accomodate the unusually large number of template "
            "files.\n\n");
  CaptureStdout();
  EXPECT_EQ(open_instruction_files(pc, streams), toolbox_msg::too_many_instructions);
  EXPECT_EQ(GetCapturedStdout(),
            "\n\nCurrently, the Toolbox does not support more than 25 instruction files.\nPlease "
            "recompile the code to accomodate the unusually large number of instruction "
            "files.\n\n");
}

TEST_F(ModelFiles, TemplateSpacesAreFoundBetweenDelimiterPairs) {
  // Header "ptf $": the delimiter is column 5. Seven delimiters make three
  // complete spaces; the odd last one is ignored. Names are matched as
  // written, lower-cased or upper-cased.
  const std::string body = "a $ k1 $ b $K2$\n$n2  $ c $";
  testing::write_file("basin.tpl", "ptf $\n" + body);
  ASSERT_EQ(open_template_files(pc, streams), 0);
  ASSERT_EQ(read_template_files(pc, streams), 0);
  const template_pair& tp = pc.templates[1];
  ASSERT_EQ(tp.n_spaces, 3);
  EXPECT_EQ(tp.space_param[1], 1);
  EXPECT_EQ(tp.space_param[2], 2);
  EXPECT_EQ(tp.space_param[3], 4);
  ASSERT_EQ(tp.delim_pos.size(), 8u);
  // Offsets just after each delimiter: 6 header characters, then the body.
  EXPECT_EQ(tp.delim_pos[1], 6 + 3);
  EXPECT_EQ(tp.delim_pos[2], 6 + 8);
  EXPECT_EQ(tp.delim_pos[7], static_cast<long>(6 + body.size()));

  struct row {
    const char* text;
    int code;
    const char* message;
  } rows[] = {
      {"ptx $\n$k1$\n", toolbox_msg::template_header,
       "\n\nbasin.tpl is not a valid PEST template file.\n\n"},
      {"jtf #\n#k9#\n", toolbox_msg::template_name,
       "the template file basin.tpl holds the parameter space k9, which names no parameter"},
      {"pt", toolbox_msg::template_header, "not a valid PEST template file"},
  };
  for (const row& r : rows) {
    testing::write_file("basin.tpl", r.text);
    ASSERT_EQ(open_template_files(pc, streams), 0);
    CaptureStdout();
    EXPECT_EQ(read_template_files(pc, streams), r.code) << r.text;
    const std::string out = GetCapturedStdout();
    EXPECT_NE(out.find(r.message), std::string::npos) << out;
  }
}

// Observations: 1 q1, 2 q2, 3 q3, 4 p1, 5 Qa1.
TEST_F(ModelFiles, EveryInstructionItemReadsItsValue) {
  struct row {
    const char* what;
    const char* instructions;
    const char* output;
    int obs;
    double value;
  } rows[] = {
      {"marker then named", "pif ~\n~outlet~ !q1!\n", "head\n  flow at outlet   1.5 m3/s\n", 1,
       1.5},
      {"marker searches from the position on", "pif ~\n~q~ ~q~ !q1!\n", "q 1\nx\nq 2\n", 1, 2.0},
      {"line advance and fixed columns", "pif ~\nl2 [q1]3:5\n", "x\n1234567890\n", 1, 345.0},
      {"l1 at a line start stays on it", "pif ~\nl1 !q1!\n", "7\n8\n", 1, 7.0},
      {"whitespace", "pif ~\nw w !q1!\n", "alpha beta   2.25 gamma\n", 1, 2.25},
      {"t5 lands on column 6", "pif ~\nt5 !q1!\n", "abcde7.5\n", 1, 7.5},
      {"end of line moves to the next line", "pif ~\n!q1!\n!q2!\n!q3!\n", "1\n2\n3\n", 3, 3.0},
      {"a fixed item ends its line", "pif ~\n[q1]1:3\n[q2]1:3\n", "1.0\n2.0\n3.0\n", 2, 3.0},
      {"columns are columns of the line", "pif ~\n~peak~ [p1]8:14\n",
       "  peak   10.25   at 3.0\n", 4, 10.25},
      {"the last column ends the field", "pif ~\n[q1]1:4 [q2]5:8\n", "12345678\n", 2, 5678.0},
      {"fixed skips leading blanks", "pif ~\n[q1]1:10\n", "    -4.5e1\n", 1, -45.0},
      {"exponent e read whole", "pif ~\n!q1!\n", "1.5e+03\n", 1, 1500.0},
      {"exponent d stops the number", "pif ~\n!q1!\n", "1.5d+03\n", 1, 1.5},
      {"exponent d in fixed columns", "pif ~\n[q1]1:7\n", "1.5d+03\n", 1, 1.5},
      {"name as written", "pif ~\n!Qa1!\n", "4.25\n", 5, 4.25},
      {"name upper-cased", "pif ~\n!Q1!\n", "4.5\n", 1, 4.5},
      {"& and other characters do nothing", "pif ~\n& x y z !q1!\n", "6.5\n", 1, 6.5},
      {"jif header, other marker", "jif %\n%at% !p1!\n", "value at 9\n", 4, 9.0},
      {"an output without a last line end", "pif ~\n!q1!\n[q2]1:3\n", "5\n6", 2, 6.0},
      {"l on the last line without a line end", "pif ~\nl2 [q1]1:3\n", "5\n6", 1, 6.0},
      {"carriage returns", "pif ~\r\n~a~ !q1!\r\n!q2!\r\n", "a 1\r\n2\r\n", 2, 2.0},
  };
  for (const row& r : rows) {
    ASSERT_EQ(read_output(r.instructions, r.output), 0) << r.what;
    EXPECT_DOUBLE_EQ(value(r.obs), r.value) << r.what;
  }
}

TEST_F(ModelFiles, ValuesGoToTheChosenSlot) {
  ASSERT_EQ(read_output("pif ~\n!q1!\n", "8.5\n"), 0);
  ASSERT_EQ(slm_read_instructions(pc, streams, 1, 2), 0);
  EXPECT_EQ(pc.observations[1].model_value[1], 8.5);
  EXPECT_EQ(pc.observations[1].model_value[2], 8.5);
  EXPECT_EQ(pc.observations[1].model_value[0], 0.0);
}

TEST_F(ModelFiles, RunawayAndBadInstructionsAreNumberedErrors) {
  struct row {
    const char* what;
    const char* instructions;
    const char* output;  // nullptr: no model output file
    int code;
    const char* message;
  } rows[] = {
      {"marker never found", "pif ~\n~flow~ !q1!\n", "nothing here\n", toolbox_msg::model_output,
       "Error: reading the model output file basin.out (instructions basin.ins): the marker flow "
       "never comes (instruction line 2).\n"},
      {"line advance past the end", "pif ~\nl5 !q1!\n", "1\n2\n", toolbox_msg::model_output,
       "the file ends within l5"},
      {"t past the end", "pif ~\nt9 !q1!\n", "1\n", toolbox_msg::model_output,
       "the file ends within t9"},
      {"w without a blank", "pif ~\nw !q1!\n", "1\n", toolbox_msg::model_output,
       "no blank is left for w"},
      // Instructions for more lines than the output holds.
      {"w past the end", "pif ~\n!q1!\nw !q2!\n", "1\n", toolbox_msg::model_output,
       "Error: reading the model output file basin.out (instructions basin.ins): the file ends before w (it "
       "holds 1 line) (instruction line 3).\n"},
      {"named item past the end", "pif ~\n!q1!\n!q2!\n", "1\n\n", toolbox_msg::model_output,
       "the file ends before !q2! (it holds 2 lines)"},
      {"fixed item past the end", "pif ~\n!q1!\n[q2]1:3\n", "1", toolbox_msg::model_output,
       "the file ends before [q2] (it holds 1 line)"},
      {"no number for a named item", "pif ~\n!q1!\n", "abc\n", toolbox_msg::model_output,
       "no number for q1"},
      {"no number in the columns", "pif ~\n[q1]1:3\n", "   4\n", toolbox_msg::model_output,
       "no number for q1 in its columns"},
      {"missing model output file", "pif ~\n!q1!\n", nullptr, toolbox_msg::open_file,
       "Error: Unable to open model output file.\n  (File: basin.out)\n"},
      {"unterminated name", "pif ~\n!q1\n", "1\n", toolbox_msg::instruction_format,
       "Error: the instruction file basin.ins, line 2: an observation's name is not closed by !"},
      {"unterminated fixed name", "pif ~\n[q1 1:3\n", "1\n", toolbox_msg::instruction_format,
       "a fixed observation's name is not closed by ]"},
      {"unterminated marker", "pif ~\n\n~flow !q1!\n", "1\n", toolbox_msg::instruction_format,
       "basin.ins, line 3: a marker is not closed"},
      {"no header", "!q1!\n", "1\n", toolbox_msg::instruction_format,
       "line 1: it does not begin with a pif or jif header line"},
      {"bad columns", "pif ~\n[q1]5:3\n", "1\n", toolbox_msg::instruction_format,
       "a fixed observation takes columns first:last"},
      {"l without a count", "pif ~\nl !q1!\n", "1\n", toolbox_msg::instruction_format,
       "l takes a line count of 1 or more"},
      {"unknown observation", "pif ~\n!q9!\n", "1\n", toolbox_msg::instruction_format,
       "no observation is named q9"},
      {"case of a mixed name", "pif ~\n!qa1!\n", "1\n", toolbox_msg::instruction_format,
       "no observation is named qa1"},
      {"semi-fixed item", "pif ~\n(q1)19:26\n", "1\n", toolbox_msg::semi_fixed,
       "Semi-fixed observations are currently not supported with the calibration toolbox.\nModify "
       "the instruction file(s) accordingly and rerun the toolbox.\n  (File: basin.ins, line 2)\n"},
  };
  for (const row& r : rows) {
    testing::write_file("basin.ins", r.instructions);
    std::remove("basin.out");
    if (r.output) testing::write_file("basin.out", r.output);
    CaptureStdout();
    int code = open_instruction_files(pc, streams);
    if (code == 0) code = slm_read_instructions(pc, streams, 1, 0);
    const std::string out = GetCapturedStdout();
    EXPECT_EQ(code, r.code) << r.what;
    EXPECT_NE(out.find(r.message), std::string::npos) << r.what << ": " << out;
  }
}

// Observations: 1 q1, 2 q2, 3 q3, 4 p1, 5 Qa1. Each is read exactly once
// per model run, over all the instruction files together.
TEST_F(ModelFiles, EveryObservationIsReadExactlyOnce) {
  struct row {
    const char* what;
    const char* first;   // instructions of basin.ins
    const char* second;  // of second.ins ("" for none)
    int code;
    const char* message;
  } rows[] = {
      {"each once in one file", "pif ~\n!q1!\n!q2!\n!q3!\n!p1!\n!Qa1!\n", "", 0, ""},
      {"each once over two files", "pif ~\n!q1!\n!q2!\n", "pif ~\n!q3! !p1!\n[Qa1]1:5\n", 0, ""},
      {"one read twice, another never", "pif ~\n!q1!\n!q2!\n!q3!\n!p1!\n!q1!\n", "",
       toolbox_msg::observation_read_twice,
       "Error: the instruction file basin.ins, line 6, reads the observation q1 a second time; every "
       "observation is read exactly once per model run.\n"},
      {"read again in the second file", "pif ~\n!q1!\n!q2!\n!q3!\n!p1!\n!Qa1!\n", "pif ~\nl1 [q2]1:4\n",
       toolbox_msg::observation_read_twice, "Error: the instruction file second.ins, line 2, reads the observation q2"},
      {"one never read", "pif ~\n!q1!\n!q2!\n!q3!\n!Qa1!\n", "", toolbox_msg::observation_never_read,
       "Error: no instruction file reads the observation p1; every observation is read exactly once per model "
       "run.\n"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    testing::write_file("basin.ins", r.first);
    pc.instructions.resize(2);
    pc.ninsfle = 1;
    if (*r.second) {
      testing::write_file("second.ins", r.second);
      pc.instructions.push_back({"second.ins", "second.out"});
      pc.ninsfle = 2;
    }
    ASSERT_EQ(open_instruction_files(pc, streams), 0);
    CaptureStdout();
    EXPECT_EQ(check_observations_read(pc, streams), r.code);
    const std::string out = GetCapturedStdout();
    EXPECT_NE(out.find(r.message), std::string::npos) << out;
  }
}

TEST_F(ModelFiles, OverlongObservationNameIsRefused) {
  const std::string name(100, 'q');
  CaptureStdout();
  EXPECT_EQ(read_output("pif ~\n!" + name + "!\n", "1\n"), toolbox_msg::item_too_long);
  EXPECT_NE(GetCapturedStdout().find("basin.ins, line 2: an item longer than 99 characters"),
            std::string::npos);
}

TEST_F(ModelFiles, MissingTemplateOrInstructionFile) {
  CaptureStdout();
  EXPECT_EQ(open_template_files(pc, streams), toolbox_msg::open_file);
  EXPECT_EQ(open_instruction_files(pc, streams), toolbox_msg::open_file);
  const std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("Unable to open template file.\n  (File: basin.tpl)"), std::string::npos);
  EXPECT_NE(out.find("Unable to open instruction file.\n  (File: basin.ins)"), std::string::npos);
}

}  // namespace
}  // namespace nivra
