// Feeds arbitrary bytes to the labels file reader. Besides the sanitizers'
// checks, it holds the reader to its promises: it answers with labels or with
// one of its three refusals, the labels hold no line break, and the writer
// gives back a file that reads as exactly the same labels.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "switch_labels/LabelsCodec.h"

using switch_labels::LabelsError;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto result = switch_labels::DecodeLabels(bytes, switch_labels::kHeaderWord);
  if (!result) {
    if (result.error != LabelsError::kNotLabelsFile && result.error != LabelsError::kTooShort &&
        result.error != LabelsError::kTooLarge) {
      std::abort();
    }
    return 0;
  }
  for (const auto& label : result.labels) {
    if (label.find_first_of("\r\n") != std::string::npos) std::abort();
  }
  const auto again =
      switch_labels::DecodeLabels(switch_labels::EncodeLabels(result.labels), switch_labels::kHeaderWord);
  if (!again || again.labels != result.labels) std::abort();
  return 0;
}
