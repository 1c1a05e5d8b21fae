#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "switch_labels/LabelsFile.h"

namespace {

namespace fs = std::filesystem;
using switch_labels::Labels;
using switch_labels::LabelsError;
using switch_labels::ReadLabelsFile;
using switch_labels::WriteLabelsFile;

Labels SomeLabels(const std::string& prefix = "Label") {
  Labels labels;
  for (std::size_t k = 0; k < labels.size(); ++k) labels[k] = prefix + std::to_string(k + 1);
  labels[4] = "with, comma";
  return labels;
}

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Put(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::vector<std::string> Entries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A fresh folder per test, removed whatever the outcome.
class LabelsFile : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "labels-file-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(folder_, ec);
  }
  fs::path folder_;
};

TEST_F(LabelsFile, SavedFileReadsBackAndLeavesNothingElse) {
  const fs::path file = folder_ / "show.lbl";
  ASSERT_TRUE(WriteLabelsFile(file, SomeLabels()));
  EXPECT_EQ(Contents(file), switch_labels::EncodeLabels(SomeLabels()));
  EXPECT_EQ(Entries(folder_), std::vector<std::string>{"show.lbl"});

  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(fs::status(file).permissions(), static_cast<fs::perms>(0666 & ~mask));

  const auto read = ReadLabelsFile(file, "Zelmora");
  ASSERT_TRUE(read) << read.detail;
  EXPECT_EQ(read.labels, SomeLabels());
}

TEST_F(LabelsFile, SaveReplacesAnOldFileWholeAndKeepsItsPermissions) {
  const fs::path file = folder_ / "show.lbl";
  Put(file, std::string(5000, 'o'));  // longer than the new content
  ::chmod(file.c_str(), 0640);
  ASSERT_TRUE(WriteLabelsFile(file, SomeLabels()));
  EXPECT_EQ(Contents(file), switch_labels::EncodeLabels(SomeLabels()));
  EXPECT_EQ(fs::status(file).permissions(), static_cast<fs::perms>(0640));
  EXPECT_EQ(Entries(folder_), std::vector<std::string>{"show.lbl"});
}

TEST_F(LabelsFile, SaveThroughALinkKeepsTheLink) {
  const fs::path real = folder_ / "real.lbl";
  const fs::path link = folder_ / "link.lbl";
  Put(real, "old");
  fs::create_symlink(real, link);
  ASSERT_TRUE(WriteLabelsFile(link, SomeLabels()));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Contents(real), switch_labels::EncodeLabels(SomeLabels()));
}

// --- Saves that fail ------------------------------------------------------

struct SaveFailure {
  const char* name;
  std::function<fs::path(const fs::path& folder)> target;
  const char* reason;  // part of the detail
};

void PrintTo(const SaveFailure& c, std::ostream* os) { *os << c.name; }

class FailedSave : public LabelsFile, public testing::WithParamInterface<SaveFailure> {};

TEST_P(FailedSave, IsReportedAndChangesNothing) {
  const fs::path target = GetParam().target(folder_);
  const auto before = Entries(folder_);
  const std::string old = fs::is_regular_file(target) ? Contents(target) : std::string();

  const auto result = WriteLabelsFile(target, SomeLabels());
  EXPECT_EQ(result.error, LabelsError::kCannotWrite);
  EXPECT_NE(result.detail.find(target.string()), std::string::npos) << result.detail;
  EXPECT_NE(result.detail.find(GetParam().reason), std::string::npos) << result.detail;
  EXPECT_EQ(Entries(folder_), before);
  if (fs::is_regular_file(target)) {
    EXPECT_EQ(Contents(target), old);
  }
}

INSTANTIATE_TEST_SUITE_P(
    LabelsFile, FailedSave,
    testing::Values(
        SaveFailure{"folder_is_a_file",
                    [](const fs::path& folder) {
                      Put(folder / "plain", "x");
                      return folder / "plain" / "show.lbl";
                    },
                    "Not a directory"},
        SaveFailure{"folder_does_not_exist", [](const fs::path& folder) { return folder / "gone" / "show.lbl"; },
                    "No such file"},
        SaveFailure{"folder_refuses_new_files", [](const fs::path&) { return fs::path("/proc/show.lbl"); }, ""},
        SaveFailure{"target_is_a_folder",
                    [](const fs::path& folder) {
                      fs::create_directory(folder / "show.lbl");
                      return folder / "show.lbl";
                    },
                    "Is a directory"},
        // A device is written into, never replaced by a file of that name.
        SaveFailure{"device_that_is_full", [](const fs::path&) { return fs::path("/dev/full"); },
                    "No space left"}),
    [](const testing::TestParamInfo<SaveFailure>& info) { return std::string(info.param.name); });

TEST_F(LabelsFile, FullDeviceStaysADevice) {
  ASSERT_FALSE(WriteLabelsFile("/dev/full", SomeLabels()));
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

// The disk fills up halfway through the new content: simulated with a file
// size limit, which fails a write past it just as a full disk does.
TEST_F(LabelsFile, SaveThatFailsHalfwayLeavesTheOldFileWhole) {
  const fs::path file = folder_ / "show.lbl";
  const std::string old = switch_labels::EncodeLabels(SomeLabels("Old"));
  Put(file, old);
  const Labels large = SomeLabels(std::string(2000, 'n'));

  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const auto result = WriteLabelsFile(file, large);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);

  EXPECT_EQ(result.error, LabelsError::kCannotWrite);
  EXPECT_NE(result.detail.find("File too large"), std::string::npos) << result.detail;
  EXPECT_EQ(Contents(file), old);
  EXPECT_EQ(Entries(folder_), std::vector<std::string>{"show.lbl"});
}

// Runs `body` as an ordinary user when the tests run as root, since root
// may write anywhere. The child's exit code is body's result.
int AsOrdinaryUser(const std::function<int()>& body) {
  if (::geteuid() != 0) return body();
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

TEST_F(LabelsFile, NoPermissionIsReportedAndChangesNothing) {
  ::chmod(folder_.c_str(), 0755);
  const fs::path locked = folder_ / "locked";
  fs::create_directory(locked);
  ::chmod(locked.c_str(), 0555);
  const fs::path open = folder_ / "open";
  fs::create_directory(open);
  ::chmod(open.c_str(), 0777);
  Put(open / "protected.lbl", "old");
  ::chmod((open / "protected.lbl").c_str(), 0444);

  // Exit codes: 0 refused as it should be, 1 written, 2 refused for another reason.
  const auto refused = [](const fs::path& target) {
    return [target] {
      const auto result = WriteLabelsFile(target, SomeLabels());
      if (result) return 1;
      return result.detail.find("Permission denied") != std::string::npos ? 0 : 2;
    };
  };
  EXPECT_EQ(AsOrdinaryUser(refused(locked / "show.lbl")), 0);
  EXPECT_EQ(AsOrdinaryUser(refused(open / "protected.lbl")), 0);
  EXPECT_TRUE(fs::is_empty(locked));
  EXPECT_EQ(Contents(open / "protected.lbl"), "old");
  EXPECT_EQ(Entries(open), std::vector<std::string>{"protected.lbl"});
}

// --- Reads that fail ------------------------------------------------------

struct ReadFailure {
  const char* name;
  std::function<fs::path(const fs::path& folder)> source;
  LabelsError error;
  const char* reason;
};

void PrintTo(const ReadFailure& c, std::ostream* os) { *os << c.name; }

class FailedRead : public LabelsFile, public testing::WithParamInterface<ReadFailure> {};

TEST_P(FailedRead, IsReported) {
  const fs::path source = GetParam().source(folder_);
  const auto result = ReadLabelsFile(source, "Zelmora");
  EXPECT_EQ(result.error, GetParam().error);
  EXPECT_NE(result.detail.find(source.string()), std::string::npos) << result.detail;
  EXPECT_NE(result.detail.find(GetParam().reason), std::string::npos) << result.detail;
}

std::string GoodFile() { return switch_labels::EncodeLabels(SomeLabels()); }

INSTANTIATE_TEST_SUITE_P(
    LabelsFile, FailedRead,
    testing::Values(
        ReadFailure{"missing", [](const fs::path& folder) { return folder / "none.lbl"; }, LabelsError::kCannotOpen,
                    "No such file"},
        ReadFailure{"folder",
                    [](const fs::path& folder) {
                      fs::create_directory(folder / "dir.lbl");
                      return folder / "dir.lbl";
                    },
                    LabelsError::kCannotRead, "Is a directory"},
        // Reading a pipe would wait for a writer for ever.
        ReadFailure{"named_pipe",
                    [](const fs::path& folder) {
                      ::mkfifo((folder / "pipe.lbl").c_str(), 0600);
                      return folder / "pipe.lbl";
                    },
                    LabelsError::kCannotRead, "not a regular file"},
        ReadFailure{"read_error", [](const fs::path&) { return fs::path("/proc/self/mem"); },
                    LabelsError::kCannotRead, "Input/output error"},
        ReadFailure{"truncated",
                    [](const fs::path& folder) {
                      Put(folder / "cut.lbl", GoodFile().substr(0, GoodFile().size() / 2));
                      return folder / "cut.lbl";
                    },
                    LabelsError::kTooShort, "of the 36 labels"},
        ReadFailure{"two_MiB",
                    [](const fs::path& folder) {
                      std::string big = GoodFile();
                      while (big.size() < (std::size_t{2} << 20)) big += std::string(1000, 'x') + "\r\n";
                      Put(folder / "big.lbl", big);
                      return folder / "big.lbl";
                    },
                    LabelsError::kTooLarge, "1 MiB"}),
    [](const testing::TestParamInfo<ReadFailure>& info) { return std::string(info.param.name); });

TEST_F(LabelsFile, ReadsFilesWhoseRecordedSizeIsWrong) {
  // Files under /proc report size 0 but have content: the reader must read to
  // the end rather than trust the size. A labels file is no such file.
  const auto result = ReadLabelsFile("/proc/self/status", "Zelmora");
  EXPECT_EQ(result.error, LabelsError::kNotLabelsFile);
}

}  // namespace
