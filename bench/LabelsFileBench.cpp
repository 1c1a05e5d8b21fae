// How long loading and saving a labels file takes: the codec alone, on a usual file and on the largest one
// accepted, and the file commands with their disk work (a save waits for the disk to confirm the write).
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "switch_labels/LabelsFile.h"

int main() {
  switch_labels::Labels labels;
  for (std::size_t k = 0; k < labels.size(); ++k) labels[k] = "Label " + std::to_string(k + 1) + ", \"x\"";
  const std::string usual = switch_labels::EncodeLabels(labels);
  std::string largest = usual;
  while (largest.size() + 1002 <= switch_labels::kMaxFileSize) largest += std::string(1000, 'p') + "\r\n";
  std::string folder = (std::filesystem::temp_directory_path() / "labels-bench-XXXXXX").string();
  if (!mkdtemp(folder.data())) return 1;
  const std::filesystem::path file = std::filesystem::path(folder) / "bench.lbl";
  bool ok = true;
  std::size_t sink = 0;  // keeps the codec calls from being optimised away
  std::printf("labels file: %zu bytes usual, %zu bytes largest accepted\n", usual.size(), largest.size());
  const auto time = [](const char* what, int runs, auto&& body) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i) body();
    const std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
    std::printf("%-18s %10.2f us\n", what, spent.count() / runs);
  };
  time("decode usual", 20000,
       [&] { sink += switch_labels::DecodeLabels(usual, "Zelmora").labels[35].size(); });
  time("decode largest", 200,
       [&] { sink += switch_labels::DecodeLabels(largest, "Zelmora").labels[35].size(); });
  time("encode", 20000, [&] { sink += switch_labels::EncodeLabels(labels).size(); });
  time("save (with fsync)", 50, [&] { ok = switch_labels::WriteLabelsFile(file, labels) && ok; });
  time("load from file", 2000, [&] { ok = switch_labels::ReadLabelsFile(file, "Zelmora") && ok; });
  std::filesystem::remove_all(folder);
  return ok && sink > 0 ? 0 : 1;
}
