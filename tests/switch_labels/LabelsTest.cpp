#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <map>

#include "switch_labels/LabelsFile.h"

namespace {

namespace fs = std::filesystem;
using namespace switch_labels;

// The labels "L1" .. "L36", and the file of them with some lines replaced (0 is the header).
Labels Plain() {
  Labels labels;
  for (std::size_t k = 0; k < labels.size(); ++k) labels[k] = "L" + std::to_string(k + 1);
  return labels;
}
std::string File(std::map<int, std::string> replaced = {}, const std::string& end = "\r\n") {
  std::string file;
  for (int line = 0; line <= 36; ++line) {
    file += (replaced.contains(line) ? replaced[line] : line ? "L" + std::to_string(line) : "Zelmora") + end;
  }
  return file;
}

TEST(LabelsCodec, ReaderCases) {
  const std::string good = File(), big = good + std::string((1 << 20) - good.size(), 'x');
  const std::string longest(kMaxLabelLength, 'x');
  std::string pianos;  // U+1F3B9 takes two of a box's places
  for (int i = 0; i < 16383; ++i) pianos += "\xF0\x9F\x8E\xB9";
  const std::tuple<std::string, LabelsError, std::map<int, std::string>> cases[] = {
      {good, LabelsError::kNone, {{1, "L1"}, {36, "L36"}}},
      {File({}, "\n"), LabelsError::kNone, {{1, "L1"}, {36, "L36"}}},
      {File({}, "\r"), LabelsError::kNone, {{1, "L1"}, {36, "L36"}}},
      // Files from before labels were quoted: a comma splits a label, and the later ones move on.
      {File({{5, "a, b"}}), LabelsError::kNone, {{5, "a"}, {6, "b"}, {7, "L6"}, {36, "L35"}}},
      {File({{0, "Zelmora,x"}}), LabelsError::kNone, {{1, "x"}, {2, "L1"}}},
      {File({{5, " \"a, \"\"b\"\" \"x"}}), LabelsError::kNone, {{5, "a, \"b\" "}, {6, "L6"}}},
      {File({{9, "Longer than nine"}}), LabelsError::kNone, {{9, "Longer than nine"}}},
      {File({{1, "Caf\xE9 \x80\x93"}}), LabelsError::kNone, {{1, "Caf\xC3\xA9 \xE2\x82\xAC\xE2\x80\x9C"}}},
      {File({{1, "Caf\xC3\xA9 \xE2\x82\xAC"}}), LabelsError::kNone, {{1, "Caf\xC3\xA9 \xE2\x82\xAC"}}},
      {"\xEF\xBB\xBF" + File({{1, "a\xE9z"}}), LabelsError::kNone, {{1, "a\xEF\xBF\xBDz"}}},
      {File({{0, "zelmora"}}), LabelsError::kNotLabelsFile, {}},
      {good.substr(0, good.size() - 5), LabelsError::kTooShort, {}},
      {big, LabelsError::kNone, {{36, "L36"}}},
      {big + "x", LabelsError::kTooLarge, {}},
      {File({{7, longest}}), LabelsError::kNone, {{7, longest}}},
      {File({{7, longest + "x"}}), LabelsError::kLabelTooLong, {}},
      {File({{7, pianos + "x"}}), LabelsError::kNone, {{7, pianos + "x"}}},
      {File({{7, pianos + "\xF0\x9F\x8E\xB9"}}), LabelsError::kLabelTooLong, {}}};
  for (const auto& [bytes, error, labels] : cases) {
    const auto result = DecodeLabels(bytes, "Zelmora");
    EXPECT_EQ(result.error, error) << bytes.substr(0, 80);
    for (const auto& [box, text] : labels) EXPECT_EQ(result.labels[box - 1], text) << "Text" << box;
  }
  EXPECT_EQ(Message(LabelsError::kNotLabelsFile), "This file is not a valid 'Labels' file!");
  // A box would cut a longer label: the file is refused with its own message, which says what and where.
  EXPECT_EQ(Message(LabelsError::kLabelTooLong),
            "A label in this 'Labels' file is longer than a label box can hold. No label was changed.");
  EXPECT_EQ(DecodeLabels(File({{30, std::string(100000, 'x')}}), "Zelmora").detail,
            "the label of Text30 has 100000 characters; a label box holds 32767");
}

// Each label, the line the writer makes of it, and what reads back.
TEST(LabelsCodec, WriterQuotesOnlyWhatWouldNotReadBack) {
  const std::string cases[][3] = {{"Bass drum", "Bass drum", "Bass drum"},
                                  {"a,b", "\"a,b\"", "a,b"},
                                  {"\"hi", "\"\"\"hi\"", "\"hi"},
                                  {"say \"hi\"", "say \"hi\"", "say \"hi\""},
                                  {" lead", "\" lead\"", " lead"},
                                  {"trail\t", "\"trail\t\"", "trail\t"},
                                  {"two\r\nlines", "two lines", "two lines"},
                                  {"a\rb\n", "\"a b \"", "a b "}};
  for (const auto& [label, line, back] : cases) {
    Labels labels = Plain();
    labels[4] = label;
    EXPECT_EQ(EncodeLabels(labels), File({{5, line}})) << label;
    EXPECT_EQ(DecodeLabels(File({{5, line}}), "Zelmora").labels[4], back) << label;
  }
}

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A fresh folder with a labels file in it per test, removed whatever the outcome.
class LabelsFile : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "labels-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern, file_ = folder_ / "show.lbl";
    std::ofstream(file_, std::ios::binary) << old_;
  }
  void TearDown() override { fs::remove_all(folder_, ignored_); }
  std::size_t entries() const { return std::distance(fs::directory_iterator(folder_), {}); }

  const std::string old_ = File({{1, "old"}});
  fs::path folder_, file_;
  std::error_code ignored_;
};

// A save replaces the file whole, keeping its mode (and any link to it: below), or leaves it as it was with
// no temporary file behind: when its owner made it read-only (nobody saves, as root may write anywhere, into
// a folder where a rename could replace it), or when the disk fills up halfway (a file size limit fails the
// write just as a full disk does).
TEST_F(LabelsFile, SaveReplacesTheFileWholeOrNotAtAll) {
  ::chmod(folder_.c_str(), 0777);
  ::chmod(file_.c_str(), 0440);
  const bool root = ::geteuid() == 0;
  ASSERT_TRUE(!root || ::setresuid(65534, 65534, 0) == 0);
  EXPECT_EQ(WriteLabelsFile(file_, Plain()).detail, file_.string() + ": Permission denied");
  ASSERT_TRUE(!root || ::setresuid(0, 0, 0) == 0);
  ::chmod(file_.c_str(), 0640);
  rlimit saved{}, small{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  small = {old_.size() / 2, saved.rlim_max};
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &small);
  const auto full = WriteLabelsFile(file_, Plain());
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(full.detail, file_.string() + ": File too large");
  EXPECT_EQ(Contents(file_), old_);
  EXPECT_EQ(entries(), 1u);
  ASSERT_TRUE(WriteLabelsFile(file_, Plain()));
  EXPECT_EQ(fs::status(file_).permissions(), fs::perms(0640));
}

// A save through symbolic links writes the file they end at, made if it does not exist yet, and keeps the
// links; a loop of links is refused and stays as it is.
TEST_F(LabelsFile, SaveFollowsLinksToTheirEnd) {
  fs::create_symlink("later.lbl", folder_ / "dangling.lbl");  // relative, to a file not made yet
  fs::create_symlink(folder_ / "dangling.lbl", folder_ / "chain.lbl");
  ASSERT_TRUE(WriteLabelsFile(folder_ / "chain.lbl", Plain()));
  EXPECT_TRUE(fs::is_symlink(folder_ / "chain.lbl") && fs::is_symlink(folder_ / "dangling.lbl"));
  EXPECT_EQ(Contents(folder_ / "later.lbl"), EncodeLabels(Plain()));
  fs::create_symlink("loop-b", folder_ / "loop-a");
  fs::create_symlink("loop-a", folder_ / "loop-b");
  EXPECT_EQ(WriteLabelsFile(folder_ / "loop-a", Plain()).detail,
            (folder_ / "loop-a").string() + ": Too many levels of symbolic links");
  EXPECT_TRUE(fs::is_symlink(folder_ / "loop-a"));
  EXPECT_EQ(entries(), 6u);
}

// Only regular files up to 1 MiB are read. A pipe chosen by name is written into, never replaced by a file.
TEST_F(LabelsFile, OnlyRegularFilesAreLabelsFiles) {
  const fs::path pipe = folder_ / "pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  std::ofstream(folder_ / "big") << old_ << std::string(1 << 20, 'x');
  const std::tuple<fs::path, LabelsError, std::string> cases[] = {
      {pipe, LabelsError::kCannotRead, "not a regular file"},
      {folder_, LabelsError::kCannotRead, "Is a directory"},
      {folder_ / "none", LabelsError::kCannotOpen, "No such file or directory"},
      {folder_ / "big", LabelsError::kTooLarge, "larger than 1 MiB"},
      // Its size on record is 0: the reader must read on to the end.
      {"/proc/self/status", LabelsError::kNotLabelsFile, ""}};
  for (const auto& [path, error, reason] : cases) {
    const auto result = ReadLabelsFile(path, "Zelmora");
    EXPECT_EQ(result.error, error) << path;
    EXPECT_EQ(result.detail, reason.empty() ? "" : path.string() + ": " + reason);
  }
  EXPECT_EQ(WriteLabelsFile(pipe, Plain()).detail, pipe.string() + ": No such device or address");
  EXPECT_TRUE(fs::is_fifo(pipe));
}

}  // namespace
