#include "config/plain_file.h"

#include <gtest/gtest.h>

namespace {

// The "Name = value" reader the station settings share with the pager
// gateway: comments, blanks, line numbers, unknown names.
TEST(PlainSettingsFile, NameValueLines) {
  std::string input = "x";
  int number = 5;
  const config::SettingReaders readers = {{"Input", config::TextSetting(input, false)},
                                          {"Number", config::IntSetting(number, 1, 10)}};
  struct Case {
    const char* text;
    std::string input;
    int number;
    std::vector<std::string> problems;
  } cases[] = {
      {"", "x", 5, {}},
      {"# only a comment\n\n   \n", "x", 5, {}},
      {"Input = pipe   # where from\r\nNumber=7\n", "pipe", 7, {}},
      {"\tInput\t=\ta b \n", "a b", 5, {}},
      {"Input = one\nInput = two\n", "two", 5, {}},
      {"# c\nInptu = pipe\nNumber = 3\n", "x", 3, {"line 2: unknown setting \"Inptu\""}},
      {"Number = 11\nNumber = 2x\n",
       "x",
       5,
       {"line 1: Number needs a whole number from 1 to 10", "line 2: Number needs a whole number from 1 to 10"}},
      {"Input =\n", "x", 5, {"line 1: Input needs a value"}},
      {"\n\njust words\n", "x", 5, {"line 3: no \"Name = value\""}},
      {"Input = a # b = c\n", "a", 5, {}},
  };
  for (const auto& c : cases) {
    input = "x";
    number = 5;
    std::vector<std::string> problems;
    config::ReadSettings(c.text, readers, problems);
    EXPECT_EQ(input, c.input) << c.text;
    EXPECT_EQ(number, c.number) << c.text;
    EXPECT_EQ(problems, c.problems) << c.text;
  }
}

TEST(PlainSettingsFile, Words) {
  EXPECT_EQ(config::Words(" a, b\tc,,d "), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_TRUE(config::Words(" , ").empty());
}

}  // namespace
