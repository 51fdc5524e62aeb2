// The card reference (CARDS.md) against the card table: every card the
// project reader takes has its row there, every card the reference names
// is one the reader takes, the cards that stop as not available say so; and
// the worked project of the reference, written out file by file as a user
// would copy it, runs to a closed water balance.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "model/card_table.h"
#include "run/run_test_support.h"
#include "support/test_support.h"

namespace nivra {
namespace {

const std::string source_dir = NIVRA_SOURCE_DIR;

std::vector<std::string> lines_of(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string upper(std::string_view word) {
  std::string s(word);
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The card words in backquotes in the first cell of a table row ("| `ROWS`,
// `COLS` | ..."), each with the whole row.
std::multimap<std::string, std::string> documented_cards(const std::vector<std::string>& lines) {
  std::multimap<std::string, std::string> cards;
  for (const std::string& line : lines) {
    if (line.rfind("| `", 0) != 0) continue;
    const std::size_t end = line.find('|', 1);
    const std::string cell = line.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    for (std::size_t at = cell.find('`'); at != std::string::npos;) {
      const std::size_t close = cell.find('`', at + 1);
      if (close == std::string::npos) break;
      const std::string word = cell.substr(at + 1, close - at - 1);
      bool card_word = !word.empty();
      for (char c : word) card_word = card_word && (std::isupper(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) || c == '_');
      if (card_word) cards.emplace(word, line);
      at = cell.find('`', close + 1);
    }
  }
  return cards;
}

class CardReference : public ::testing::Test {
 protected:
  const std::vector<std::string> reference = lines_of(source_dir + "/CARDS.md");
  const std::multimap<std::string, std::string> cards = documented_cards(reference);
};

TEST_F(CardReference, EveryCardTheReaderTakesHasItsRow) {
  ASSERT_FALSE(reference.empty()) << "CARDS.md is missing";
  for (const card_entry& e : project_card_table())
    EXPECT_EQ(cards.count(upper(e.word)), 1u) << upper(e.word) << " should have exactly one row in CARDS.md";
}

TEST_F(CardReference, EveryCardItNamesIsACard) {
  for (const auto& [word, row] : cards)
    EXPECT_NE(find_project_card(word), nullptr) << word << " is documented in CARDS.md but is no card:\n" << row;
}

TEST_F(CardReference, TheCardsNotAvailableSaySo) {
  for (const card_entry& e : project_card_table()) {
    if (e.available) continue;
    const auto row = cards.find(upper(e.word));
    ASSERT_NE(row, cards.end()) << upper(e.word);
    EXPECT_NE(row->second.find("not available"), std::string::npos)
        << upper(e.word) << " stops the reading as not available; its row should say so:\n"
        << row->second;
  }
}

TEST_F(CardReference, TheReadmeLinksToIt) {
  const std::string readme = testing::read_file(source_dir + "/README.md");
  EXPECT_NE(readme.find("(CARDS.md)"), std::string::npos);
}

// The files of the worked project: each "File `name`" line and the fenced
// block after it.
std::map<std::string, std::string> worked_project(const std::vector<std::string>& lines) {
  std::map<std::string, std::string> files;
  bool in_section = false;
  std::string name, text;
  bool in_block = false;
  for (const std::string& line : lines) {
    if (line.rfind("## ", 0) == 0) in_section = line == "## A worked project";
    if (!in_section) continue;
    if (in_block) {
      if (line == "```") {
        files[name] = text;
        in_block = false;
        name.clear();
      } else {
        text += line + "\n";
      }
    } else if (line.rfind("File `", 0) == 0) {
      name = line.substr(6, line.find('`', 6) - 6);
    } else if (line == "```" && !name.empty()) {
      in_block = true;
      text.clear();
    }
  }
  return files;
}

class WorkedProject : public testing::process_test {};

TEST_F(WorkedProject, RunsFromTheReferenceAlone) {
  const std::map<std::string, std::string> files = worked_project(lines_of(source_dir + "/CARDS.md"));
  ASSERT_EQ(files.size(), 10u);
  for (const auto& [name, text] : files) testing::write_file(name, text);

  std::FILE* p = ::popen((std::string(NIVRA_EXE) + " field.prj 2>&1").c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string console;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) console.append(buffer, n);
  const int status = ::pclose(p);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << console;
  EXPECT_EQ(console.find("Warning"), std::string::npos) << console;

  // The storm: 24 mm at the north-west gage and 20 mm at the south-east
  // one over 30 cells of 400 m2, spread by inverse distance.
  const std::string summary = testing::read_file("field.sum");
  const double rain = testing::value_after(summary, "volume of rainfall to overland:");
  EXPECT_GT(rain, 0.020 * 12000.0);
  EXPECT_LT(rain, 0.024 * 12000.0);
  // Green-Ampt takes part of it, the outlet some, the pond keeps the
  // rest: its 400 m3 at the start and what ran into it.
  EXPECT_GT(testing::value_after(summary, "volume of infiltrated water:"), 0.0);
  EXPECT_GT(testing::value_after(summary, "volume of discharge:"), 0.0);
  EXPECT_GT(testing::value_after(summary, "Final volume in overland lakes="), 400.0);
  EXPECT_LT(std::fabs(testing::value_after(summary, "Overall mass balance error =")), 1e-4);
  EXPECT_LT(std::fabs(testing::value_after(summary, "Overland lake mass bal error m^3:")), 1e-2);

  // A depth map every 30 minutes from the start.
  for (const char* map : {"depth.0001.asc", "depth.0002.asc", "depth.0006.asc"})
    EXPECT_TRUE(testing::file_exists(map)) << map;
  EXPECT_FALSE(testing::read_file("field.otl").empty());
}

}  // namespace
}  // namespace nivra
