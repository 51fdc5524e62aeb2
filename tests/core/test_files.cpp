#include <gtest/gtest.h>

#include <filesystem>

#include "core/guarded_file.h"
#include "core/platform.h"
#include "core/process.h"
#include "support/test_support.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
namespace fs = std::filesystem;

class GuardedFiles : public testing::process_test {};

TEST_F(GuardedFiles, QuotedNameOpensWithoutQuotes) {
  testing::write_file("a b.txt", "x");
  guarded_file f;
  ASSERT_TRUE(open_guarded_file(f, "\"a b.txt\"", "r"));
  EXPECT_EQ(f.name.view(), "a b.txt");
  EXPECT_EQ(f.mode.view(), "r");
}

TEST_F(GuardedFiles, BadRequestsFailQuietly) {
  guarded_file f;
  CaptureStdout();
  EXPECT_FALSE(open_guarded_file(f, "", "r"));
  EXPECT_FALSE(open_guarded_file(f, "x.txt", "x"));
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_FALSE(f.is_open());
}

TEST_F(GuardedFiles, RunPrefixOnlyForWrittenFilesInMultiRunMode) {
  testing::write_file("flow.in", "x");
  process.multi_run_mode = 1;
  process.run_number = 12;
  guarded_file w, a, r;
  ASSERT_TRUE(open_guarded_file(w, "flow.out", "w"));
  ASSERT_TRUE(open_guarded_file(a, "log.out", "a"));
  ASSERT_TRUE(open_guarded_file(r, "flow.in", "r"));
  EXPECT_TRUE(testing::file_exists("0012_flow.out"));
  EXPECT_TRUE(testing::file_exists("0012_log.out"));
  EXPECT_FALSE(testing::file_exists("flow.out"));
  EXPECT_EQ(r.name.view(), "flow.in");
  process.multi_run_mode = 0;
  guarded_file single;
  ASSERT_TRUE(open_guarded_file(single, "flow.out", "w"));
  EXPECT_TRUE(testing::file_exists("flow.out"));
}

TEST_F(GuardedFiles, RunPrefixGoesOnTheFileNameNotTheFolder) {
  fs::create_directory("out");
  process.multi_run_mode = 1;
  process.run_number = 0;
  for (const char* name : {"out/flow.dat", "out\\flow2.dat"}) {
    guarded_file f;
    ASSERT_TRUE(open_guarded_file(f, name, "w")) << name;
  }
  EXPECT_TRUE(testing::file_exists("out/0000_flow.dat"));
  EXPECT_TRUE(testing::file_exists("out/0000_flow2.dat"));
}

TEST_F(GuardedFiles, ReadSearchTakesTheWorkingFolderBeforeTheProjectFolder) {
  fs::create_directory("proj");
  testing::write_file("map.asc", "here");
  testing::write_file("proj/map.asc", "project");
  testing::write_file("proj/only.asc", "project only");
  set_project_folder("proj");
  guarded_file f, g;
  ASSERT_TRUE(open_guarded_file(f, "map.asc", "r"));
  EXPECT_EQ(f.name.view(), "map.asc");
  ASSERT_TRUE(open_guarded_file(g, "only.asc", "r"));
  EXPECT_EQ(testing::read_file(os_path(g.name.view())), "project only");
}

TEST_F(GuardedFiles, WriteSearchCreatesTheOutputSubFolderBelowTheProject) {
  fs::create_directory("proj");
  set_project_folder("proj");
  std::string project = process.project_dir.str();
  ASSERT_EQ(project.back(), '\\');
  set_output_folder(project + "results");
  guarded_file f;
  ASSERT_TRUE(open_guarded_file(f, "flow.out", "w"));
  EXPECT_TRUE(fs::is_directory(os_path(project + "results")));
  EXPECT_TRUE(testing::file_exists(os_path(project + "results/flow.out")));
  EXPECT_EQ(process.output_folder.view(), "results\\");
}

TEST_F(GuardedFiles, WriteFallsBackToTheProjectFolderWhenTheSubFolderCannotBeMade) {
  fs::create_directory("proj");
  set_project_folder("proj");
  std::string project = process.project_dir.str();
  // A sub-folder two levels deep cannot be made in one step.
  set_output_folder(project + "a\\b");
  guarded_file f;
  ASSERT_TRUE(open_guarded_file(f, "flow.out", "w"));
  EXPECT_FALSE(fs::exists(os_path(project + "a")));
  EXPECT_TRUE(testing::file_exists(os_path(project + "flow.out")));
}

// A file to be written in folders that are not there: the folders are made
// beside the project (or where an absolute name puts them); a folder that
// exists under the working folder is still taken first.
TEST_F(GuardedFiles, WriteSearchMakesTheMissingFoldersOfAName) {
  fs::create_directory("proj");
  set_project_folder("proj");
  const std::string project = process.project_dir.str();
  struct folder_case {
    std::string name;   // as a card gives it
    std::string lands;  // where the file is written
  };
  fs::create_directory("here");
  const std::string absolute = fs::absolute("abs").string();
  const folder_case cases[] = {
      {"maps/depth.0001.asc", project + "maps/depth.0001.asc"},
      {"out\\deep\\flow.out", project + "out/deep/flow.out"},
      {"here/flow.out", "here/flow.out"},
      {absolute + "/one/two/flow.out", absolute + "/one/two/flow.out"},
  };
  for (const folder_case& c : cases) {
    SCOPED_TRACE(c.name);
    guarded_file f;
    ASSERT_TRUE(open_guarded_file(f, c.name, "w"));
    std::fputs("x", f.fp);
    close_guarded_file(f);
    EXPECT_EQ(testing::read_file(os_path(c.lands)), "x");
  }
  EXPECT_FALSE(fs::exists(os_path(project + "here")));
  // A file cannot be a folder: a name through a file is refused.
  testing::write_file(os_path(project + "plain"), "");
  guarded_file f;
  CaptureStdout();
  EXPECT_FALSE(open_guarded_file(f, "plain/flow.out", "w"));
  EXPECT_NE(GetCapturedStdout().find("Error getting new filename from plain/flow.out"), std::string::npos);
}

TEST_F(GuardedFiles, ClosingTwiceIsHarmlessAndReopenClosesTheOldStream) {
  guarded_file f;
  ASSERT_TRUE(open_guarded_file(f, "one.txt", "w"));
  std::fputs("first", f.fp);
  CaptureStdout();
  ASSERT_TRUE(open_guarded_file(f, "two.txt", "w"));
  std::string warn = GetCapturedStdout();
  EXPECT_NE(warn.find("opening a file when the previous file was not closed"), std::string::npos);
  EXPECT_EQ(testing::read_file("one.txt"), "first");  // flushed and closed, not leaked
  close_guarded_file(f);
  close_guarded_file(f);
  EXPECT_EQ(reset_guarded_file(f), 0);
  EXPECT_FALSE(f.is_open());
  EXPECT_TRUE(f.name.empty());
}

TEST_F(GuardedFiles, DamagedHandleIsReported) {
  guarded_file f;
  ASSERT_TRUE(open_guarded_file(f, "one.txt", "w"));
  std::FILE* real = f.fp;
  f.fp_guard = nullptr;
  CaptureStdout();
  close_guarded_file(f);
  EXPECT_NE(GetCapturedStdout().find("The file pointer is corrupt."), std::string::npos);
  (void)real;
}

TEST_F(GuardedFiles, PathLongerThanTheNameFieldIsRefused) {
  std::string longname(1100, 'n');
  guarded_file f;
  CaptureStdout();
  EXPECT_FALSE(open_guarded_file(f, longname, "r"));
  EXPECT_NE(GetCapturedStdout().find("name too long"), std::string::npos);
}

TEST_F(GuardedFiles, SuperQuietSilencesMessages) {
  CaptureStdout();
  EXPECT_EQ(msg_printf("%d cells\n", 12), 9);
  process.super_quiet_on = true;
  EXPECT_EQ(msg_printf("%d cells\n", 12), 0);
  EXPECT_EQ(GetCapturedStdout(), "12 cells\n");
}

TEST(Platform, PathsAndPrograms) {
  EXPECT_EQ(os_path("a\\b/c"), "a/b/c");
  EXPECT_EQ(folder_of("x\\y/z.txt"), "x\\y/");
  EXPECT_EQ(file_part("x\\y\\z.txt"), "z.txt");
  EXPECT_EQ(run_program({"true"}), 0);
  EXPECT_EQ(run_program({"false"}), 1);
  EXPECT_EQ(run_program({"/no/such/program"}), -1);
  wall_timer t;
  EXPECT_GE(t.seconds(), 0.0);
}

}  // namespace
}  // namespace nivra
