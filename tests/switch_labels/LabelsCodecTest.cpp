#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "switch_labels/LabelsCodec.h"

namespace {

using switch_labels::DecodeLabels;
using switch_labels::EncodeLabels;
using switch_labels::Labels;
using switch_labels::LabelsError;

// The labels the window opens with, Text1 .. Text36.
Labels OpeningLabels() {
  Labels labels;
  for (int k = 1; k <= 36; ++k) {
    int number = k;                      // Text1 .. Text18: Switch01 .. Switch18
    if (k >= 19 && k <= 27) number = k + 9;   // Text19 .. Text27: Switch28 .. Switch36
    if (k >= 28) number = 55 - k;             // Text28 .. Text36: Switch27 .. Switch19
    labels[static_cast<std::size_t>(k - 1)] = (number < 10 ? "Switch0" : "Switch") + std::to_string(number);
  }
  return labels;
}

std::string Join(const std::vector<std::string>& lines, const std::string& end = "\r\n") {
  std::string out;
  for (const auto& line : lines) out += line + end;
  return out;
}

// Header line and the opening labels, one per line, with some lines replaced.
std::vector<std::string> Lines(std::vector<std::pair<int, std::string>> replaced = {},
                               std::string header = "Zelmora") {
  std::vector<std::string> lines{std::move(header)};
  for (const auto& label : OpeningLabels()) lines.push_back(label);
  for (auto& [line, text] : replaced) lines[static_cast<std::size_t>(line)] = text;
  return lines;
}

std::vector<std::string> FirstLines(std::size_t count) {
  std::vector<std::string> lines = Lines();
  lines.resize(count);
  return lines;
}

std::string WithoutLastLineEnd(std::string file) {
  file.resize(file.size() - 2);
  return file;
}

TEST(LabelsCodec, WritesTheOpeningLabelsAsThe37Lines) {
  const std::string expected =
      "Zelmora\r\n"
      "Switch01\r\nSwitch02\r\nSwitch03\r\nSwitch04\r\nSwitch05\r\nSwitch06\r\nSwitch07\r\nSwitch08\r\n"
      "Switch09\r\nSwitch10\r\nSwitch11\r\nSwitch12\r\nSwitch13\r\nSwitch14\r\nSwitch15\r\nSwitch16\r\n"
      "Switch17\r\nSwitch18\r\n"
      "Switch28\r\nSwitch29\r\nSwitch30\r\nSwitch31\r\nSwitch32\r\nSwitch33\r\nSwitch34\r\nSwitch35\r\n"
      "Switch36\r\n"
      "Switch27\r\nSwitch26\r\nSwitch25\r\nSwitch24\r\nSwitch23\r\nSwitch22\r\nSwitch21\r\nSwitch20\r\n"
      "Switch19\r\n";
  EXPECT_EQ(EncodeLabels(OpeningLabels()), expected);
}

// --- Reader ---------------------------------------------------------------

struct ReaderCase {
  const char* name;
  std::string bytes;
  LabelsError error;
  std::vector<std::pair<int, std::string>> expected;  // (box k of Text<k>, its text)
  std::string detailHas;
};

ReaderCase Reads(const char* name, std::string bytes, std::vector<std::pair<int, std::string>> expected) {
  return {name, std::move(bytes), LabelsError::kNone, std::move(expected), ""};
}
ReaderCase Refuses(const char* name, std::string bytes, LabelsError error, std::string detailHas = "") {
  return {name, std::move(bytes), error, {}, std::move(detailHas)};
}

void PrintTo(const ReaderCase& c, std::ostream* os) { *os << c.name; }

class Reader : public testing::TestWithParam<ReaderCase> {};

TEST_P(Reader, ReadsAsSettled) {
  const ReaderCase& c = GetParam();
  const auto result = DecodeLabels(c.bytes, "Zelmora");
  ASSERT_EQ(result.error, c.error) << result.detail;
  for (const auto& [box, text] : c.expected) {
    EXPECT_EQ(result.labels[static_cast<std::size_t>(box - 1)], text) << "Text" << box;
  }
  EXPECT_NE(result.detail.find(c.detailHas), std::string::npos) << result.detail;
  if (c.error == LabelsError::kNone) {
    for (const auto& label : result.labels) EXPECT_EQ(label.find_first_of("\r\n"), std::string::npos);
  }
}

const std::string kBom = "\xEF\xBB\xBF";
const std::string kOneMiB(std::size_t{1} << 20, 'x');

std::string PaddedTo(std::string file, std::size_t size) {
  // Lines after the 36th field are not read: pad with whole lines.
  while (file.size() + 2 < size) file += std::string(std::min<std::size_t>(998, size - file.size() - 2), 'p') + "\r\n";
  file.resize(size, '\n');
  return file;
}

INSTANTIATE_TEST_SUITE_P(
    LabelsCodec, Reader,
    testing::Values(
        Reads("opening_labels", Join(Lines()),
              {{1, "Switch01"}, {18, "Switch18"}, {19, "Switch28"}, {27, "Switch36"}, {28, "Switch27"},
               {36, "Switch19"}}),
        Reads("header_followed_by_comma_passes", Join(Lines({{0, "Zelmora,x"}})),
              {{1, "x"}, {2, "Switch01"}, {36, "Switch20"}}),
        Refuses("header_in_other_case", Join(Lines({}, "zelmora")), LabelsError::kNotLabelsFile),
        Refuses("header_in_capitals", Join(Lines({}, "ZELMORA")), LabelsError::kNotLabelsFile),
        Refuses("other_first_line", Join(Lines({}, "Labels")), LabelsError::kNotLabelsFile),
        Refuses("header_longer", Join(Lines({}, "Zelmora2")), LabelsError::kNotLabelsFile),
        Refuses("empty_first_line", Join(Lines({}, "")), LabelsError::kNotLabelsFile),
        Reads("blanks_around_header", Join(Lines({}, " \tZelmora  ")), {{1, "Switch01"}}),
        Reads("quoted_header", Join(Lines({}, "\"Zelmora\"")), {{1, "Switch01"}}),
        // Files written before labels were quoted: a comma splits the label.
        Reads("comma_in_old_file_moves_later_labels", Join(Lines({{5, "left,right"}})),
              {{4, "Switch04"}, {5, "left"}, {6, "right"}, {7, "Switch06"}, {36, "Switch20"}}),
        Reads("quoted_comma", Join(Lines({{5, "\"left,right\""}})),
              {{5, "left,right"}, {6, "Switch06"}, {36, "Switch19"}}),
        Reads("doubled_quote_is_one_quote", Join(Lines({{1, "\"say \"\"hi\"\"\""}})),
              {{1, "say \"hi\""}, {2, "Switch02"}}),
        Reads("empty_quoted_field", Join(Lines({{1, "\"\""}})), {{1, ""}, {2, "Switch02"}}),
        Reads("unclosed_quote_runs_to_line_end", Join(Lines({{1, "\"a, b"}})), {{1, "a, b"}, {2, "Switch02"}}),
        Reads("unclosed_quote_stops_at_lf", Join(Lines({{1, "\"a"}, {2, "b\""}}), "\n"),
              {{1, "a"}, {2, "b\""}, {3, "Switch03"}}),
        Reads("text_after_closing_quote_dropped", Join(Lines({{1, "\"ab\"cd,ef"}})),
              {{1, "ab"}, {2, "ef"}, {3, "Switch02"}}),
        Reads("blanks_around_unquoted_dropped", Join(Lines({{1, " \t a b \t "}})), {{1, "a b"}}),
        Reads("blanks_kept_inside_quotes", Join(Lines({{1, "  \" a \"  "}})), {{1, " a "}}),
        Reads("quote_inside_unquoted_kept", Join(Lines({{1, "a\"b\""}})), {{1, "a\"b\""}}),
        Reads("empty_line_is_empty_field", Join(Lines({{1, ""}, {36, ""}})), {{1, ""}, {2, "Switch02"}, {36, ""}}),
        Reads("lf_line_ends", Join(Lines(), "\n"), {{1, "Switch01"}, {36, "Switch19"}}),
        Reads("cr_line_ends", Join(Lines(), "\r"), {{1, "Switch01"}, {36, "Switch19"}}),
        Reads("mixed_line_ends", "Zelmora\nA\r\nB\n" + Join(std::vector<std::string>(34, "c")),
              {{1, "A"}, {2, "B"}, {3, "c"}, {36, "c"}}),
        Reads("last_line_without_line_end", WithoutLastLineEnd(Join(Lines())), {{36, "Switch19"}}),
        Reads("lines_after_the_36th_ignored", Join(Lines()) + "extra\r\nmore,stuff\r\n", {{36, "Switch19"}}),
        Reads("comma_at_the_very_end_is_a_field", WithoutLastLineEnd(Join(FirstLines(36))) + ",",
              {{35, "Switch20"}, {36, ""}}),
        Reads("windows_1252", Join(Lines({{1, "Caf\xE9"}, {2, "\x80 5"}, {3, "\x93q\x94"}, {4, "\x81"}})),
              {{1, "Caf\xC3\xA9"}, {2, "\xE2\x82\xAC 5"}, {3, "\xE2\x80\x9Cq\xE2\x80\x9D"}, {4, "\xC2\x81"}}),
        Reads("utf8", Join(Lines({{1, "Caf\xC3\xA9"}, {2, "\xF0\x9F\x8E\xB9"}})),
              {{1, "Caf\xC3\xA9"}, {2, "\xF0\x9F\x8E\xB9"}}),
        Reads("overlong_utf8_read_as_1252", Join(Lines({{1, "\xC0\xAF"}})), {{1, "\xC3\x80\xC2\xAF"}}),
        Reads("utf16_surrogate_read_as_1252", Join(Lines({{1, "\xED\xA0\x80"}})),
              {{1, "\xC3\xAD\xC2\xA0\xE2\x82\xAC"}}),
        Reads("byte_order_mark_skipped", kBom + Join(Lines({{1, "\xC3\xA9"}})), {{1, "\xC3\xA9"}}),
        Reads("marked_file_with_broken_bytes", kBom + Join(Lines({{1, "a\xE9z"}})), {{1, "a\xEF\xBF\xBDz"}}),
        Refuses("empty_file", "", LabelsError::kTooShort, "empty"),
        Refuses("only_a_byte_order_mark", kBom, LabelsError::kTooShort, "empty"),
        Refuses("header_only", "Zelmora\r\n", LabelsError::kTooShort, "0 of the 36"),
        Refuses("35_labels", Join(FirstLines(36)), LabelsError::kTooShort, "35 of the 36"),
        Reads("exactly_1_MiB", PaddedTo(Join(Lines()), std::size_t{1} << 20), {{36, "Switch19"}}),
        Refuses("one_byte_over_1_MiB", PaddedTo(Join(Lines()), (std::size_t{1} << 20) + 1), LabelsError::kTooLarge,
                "1 MiB"),
        Refuses("large_stranger_is_not_a_labels_file", kOneMiB + kOneMiB, LabelsError::kNotLabelsFile)),
    [](const testing::TestParamInfo<ReaderCase>& info) { return std::string(info.param.name); });

TEST(LabelsCodec, ComparesWithTheHeaderWordItIsGiven) {
  const std::string file = Join(Lines({}, "Other"));
  EXPECT_TRUE(DecodeLabels(file, "Other"));
  EXPECT_EQ(DecodeLabels(file, "Zelmora").error, LabelsError::kNotLabelsFile);
  EXPECT_EQ(DecodeLabels(Join(Lines()), "Other").error, LabelsError::kNotLabelsFile);
}

TEST(LabelsCodec, RefusalUsesTheProgramsOwnWords) {
  EXPECT_EQ(switch_labels::Message(LabelsError::kNotLabelsFile), "This file is not a valid 'Labels' file!");
  for (auto error : {LabelsError::kTooShort, LabelsError::kTooLarge, LabelsError::kCannotOpen,
                     LabelsError::kCannotRead, LabelsError::kCannotWrite}) {
    EXPECT_FALSE(switch_labels::Message(error).empty());
  }
}

// --- Writer ---------------------------------------------------------------

struct WriterCase {
  const char* name;
  std::string label;
  std::string line;      // as written
  std::string readBack;  // as read from that line
};

void PrintTo(const WriterCase& c, std::ostream* os) { *os << c.name; }

class Writer : public testing::TestWithParam<WriterCase> {};

TEST_P(Writer, QuotesOnlyWhenItMust) {
  const WriterCase& c = GetParam();
  Labels labels = OpeningLabels();
  labels[4] = c.label;  // Text5, between two ordinary labels
  const std::string file = EncodeLabels(labels);
  const std::string before = "Zelmora\r\nSwitch01\r\nSwitch02\r\nSwitch03\r\nSwitch04\r\n";
  ASSERT_TRUE(file.starts_with(before));
  EXPECT_EQ(file.substr(before.size(), c.line.size() + 12), c.line + "\r\nSwitch06\r\n");

  const auto result = DecodeLabels(file, "Zelmora");
  ASSERT_TRUE(result) << result.detail;
  EXPECT_EQ(result.labels[4], c.readBack);
  EXPECT_EQ(result.labels[5], "Switch06");
  EXPECT_EQ(result.labels[35], "Switch19");
}

INSTANTIATE_TEST_SUITE_P(
    LabelsCodec, Writer,
    testing::Values(WriterCase{"plain", "Bass drum", "Bass drum", "Bass drum"},
                    WriterCase{"empty", "", "", ""},
                    WriterCase{"comma", "a,b", "\"a,b\"", "a,b"},
                    WriterCase{"leading_quote", "\"hi", "\"\"\"hi\"", "\"hi"},
                    WriterCase{"quote_inside_left_as_is", "say \"hi\"", "say \"hi\"", "say \"hi\""},
                    WriterCase{"comma_and_quotes", "a, \"b\"", "\"a, \"\"b\"\"\"", "a, \"b\""},
                    WriterCase{"leading_blank", " lead", "\" lead\"", " lead"},
                    WriterCase{"trailing_blank", "trail ", "\"trail \"", "trail "},
                    WriterCase{"leading_tab", "\tx", "\"\tx\"", "\tx"},
                    WriterCase{"only_blanks", "   ", "\"   \"", "   "},
                    WriterCase{"tab_inside", "a\tb", "a\tb", "a\tb"},
                    WriterCase{"non_ascii", "Caf\xC3\xA9 \xE6\x97\xA5", "Caf\xC3\xA9 \xE6\x97\xA5",
                               "Caf\xC3\xA9 \xE6\x97\xA5"},
                    WriterCase{"no_break_space_is_no_blank", "\xC2\xA0x", "\xC2\xA0x", "\xC2\xA0x"},
                    WriterCase{"lf_becomes_blank", "two\nlines", "two lines", "two lines"},
                    WriterCase{"cr_lf_becomes_one_blank", "two\r\nlines", "two lines", "two lines"},
                    WriterCase{"lone_cr_becomes_blank", "a\rb", "a b", "a b"},
                    WriterCase{"break_at_end_keeps_its_blank", "end\n", "\"end \"", "end "},
                    WriterCase{"broken_utf8_replaced", "bad\xFF", "bad\xEF\xBF\xBD", "bad\xEF\xBF\xBD"}),
    [](const testing::TestParamInfo<WriterCase>& info) { return std::string(info.param.name); });

// --- Round trip -----------------------------------------------------------

// Random labels built from pieces that have broken labels files before.
class LabelGenerator {
 public:
  explicit LabelGenerator(std::uint32_t seed) : random_(seed) {}

  std::string label() {
    const int kind = pick(20);
    if (kind == 0) return {};
    if (kind == 1) return std::string(1 + static_cast<std::size_t>(pick(4)), pick(2) ? ' ' : '\t');
    const int pieces = kind == 2 ? 200 + pick(800) : pick(kind < 10 ? 10 : 30);
    std::string out;
    for (int i = 0; i < pieces; ++i) out += kPieces[static_cast<std::size_t>(pick(static_cast<int>(kPieces.size())))];
    return out;
  }

 private:
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  inline static const std::vector<std::string> kPieces = {
      "a", "Z", "0", " ", "  ", "\t", ",", ", ", "\"", "\"\"", "\",", "'", ";", "#", "\\",
      "Switch", "\xC3\xA9", "\xC3\x9F", "\xE2\x82\xAC", "\xE6\x97\xA5\xE6\x9C\xAC", "\xF0\x9F\x8E\xB9",
      "\xC2\xA0", "\xEF\xBB\xBF", std::string(1, '\0'), "\x7F", "Zelmora"};
  std::mt19937 random_;
};

std::vector<std::string> SplitLines(const std::string& file) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = file.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(file.substr(start, end - start));
  }
  EXPECT_EQ(start, file.size()) << "the file ends inside a line";
  return lines;
}

TEST(LabelsCodec, RandomLabelsComeBackUnchanged) {
  constexpr std::uint32_t kSeed = 20240607;
  constexpr int kRuns = 4000;
  LabelGenerator generate(kSeed);
  for (int run = 0; run < kRuns; ++run) {
    Labels labels;
    for (auto& label : labels) label = generate.label();
    const std::string file = EncodeLabels(labels);

    const auto result = DecodeLabels(file, "Zelmora");
    ASSERT_TRUE(result) << "seed " << kSeed << " run " << run << ": " << result.detail;
    for (std::size_t k = 0; k < labels.size(); ++k) {
      ASSERT_EQ(result.labels[k], labels[k]) << "seed " << kSeed << " run " << run << " Text" << k + 1;
    }

    // Still 37 lines, and a label that needs no quotes is its line, byte for byte.
    const auto lines = SplitLines(file);
    ASSERT_EQ(lines.size(), 37u) << "run " << run;
    for (std::size_t k = 0; k < labels.size(); ++k) {
      const std::string& label = labels[k];
      const bool plain = label.empty() || (label.find(',') == std::string::npos && label.front() != '"' &&
                                           label.front() != ' ' && label.front() != '\t' &&
                                           label.back() != ' ' && label.back() != '\t');
      if (plain) {
        ASSERT_EQ(lines[k + 1], label) << "run " << run << " Text" << k + 1;
      }
    }
  }
}

}  // namespace
