#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "switch_labels/LabelsCodec.h"

namespace switch_labels {

// Reads and decodes the labels file at `path` (see DecodeLabels). Only
// regular files are read, and at most kMaxFileSize + 1 bytes of them. On
// failure `detail` names the file and says what went wrong; the labels are
// then not set. Never throws.
DecodeResult ReadLabelsFile(const std::filesystem::path& path, std::string_view headerWord);

struct WriteResult {
  LabelsError error = LabelsError::kNone;  // kNone or kCannotWrite
  std::string detail;                      // the file and what went wrong
  explicit operator bool() const { return error == LabelsError::kNone; }
};

// Saves `labels` to `path` (see EncodeLabels) so that the file is either the
// complete new one or whatever it was before: the bytes go to a temporary
// file beside it, are flushed to the disk, and only then replace the old file
// under its name. A failed save removes the temporary file. Symbolic links are
// followed to the file they end at, which is made if it does not exist yet;
// the links stay. The file keeps its permissions. A target that exists but is no
// regular file (a device, a pipe) is written into directly. Never throws.
WriteResult WriteLabelsFile(const std::filesystem::path& path, const Labels& labels);

}  // namespace switch_labels
