// How long loading and saving a labels file takes: the codec alone, on a
// usual file and on the largest one accepted, and the file commands with
// their disk work (a save waits for the disk to confirm the write).
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "switch_labels/LabelsFile.h"

namespace {

using Clock = std::chrono::steady_clock;

template <class F>
double MicrosecondsPerRun(int runs, F&& body) {
  const auto start = Clock::now();
  for (int i = 0; i < runs; ++i) body();
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / runs;
}

}  // namespace

int main() {
  switch_labels::Labels labels;
  for (std::size_t k = 0; k < labels.size(); ++k) labels[k] = "Label " + std::to_string(k + 1) + ", \"x\"";
  const std::string usual = switch_labels::EncodeLabels(labels);
  std::string largest = usual;
  while (largest.size() + 1002 <= switch_labels::kMaxFileSize) largest += std::string(1000, 'p') + "\r\n";

  std::size_t sink = 0;
  const double decodeUsual = MicrosecondsPerRun(20000, [&] {
    sink += switch_labels::DecodeLabels(usual, "Zelmora").labels[35].size();
  });
  const double decodeLargest = MicrosecondsPerRun(200, [&] {
    sink += switch_labels::DecodeLabels(largest, "Zelmora").labels[35].size();
  });
  const double encode = MicrosecondsPerRun(20000, [&] { sink += switch_labels::EncodeLabels(labels).size(); });

  std::string pattern = (std::filesystem::temp_directory_path() / "labels-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return 1;
  const std::filesystem::path file = std::filesystem::path(pattern) / "bench.lbl";
  bool ok = true;
  const double save = MicrosecondsPerRun(50, [&] { ok = switch_labels::WriteLabelsFile(file, labels) && ok; });
  const double load = MicrosecondsPerRun(2000, [&] { ok = switch_labels::ReadLabelsFile(file, "Zelmora") && ok; });
  std::filesystem::remove_all(pattern);

  std::printf("labels file: %zu bytes usual, %zu bytes largest accepted\n", usual.size(), largest.size());
  std::printf("decode usual      %10.2f us\n", decodeUsual);
  std::printf("decode largest    %10.2f us\n", decodeLargest);
  std::printf("encode            %10.2f us\n", encode);
  std::printf("save (with fsync) %10.2f us\n", save);
  std::printf("load from file    %10.2f us\n", load);
  return ok && sink > 0 ? 0 : 1;
}
