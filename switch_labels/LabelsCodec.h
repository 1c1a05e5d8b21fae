#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace switch_labels {

inline constexpr std::size_t kLabelCount = 36;
// The word the writer puts on the first line.
inline constexpr std::string_view kHeaderWord = "Zelmora";
// Larger files are refused unread: 37 short lines never come near this.
inline constexpr std::size_t kMaxFileSize = std::size_t{1} << 20;
// The most a label box holds, in UTF-16 code units (a character outside the
// Basic Multilingual Plane takes two): Qt's longest QLineEdit text. A file
// with a longer label is refused rather than have the box cut it.
inline constexpr std::size_t kMaxLabelLength = 32767;

// The texts of Text1 .. Text36, in UTF-8; [0] is Text1.
using Labels = std::array<std::string, kLabelCount>;

enum class LabelsError {
  kNone,
  kNotLabelsFile,  // the first field is not the header word
  kTooShort,       // the file ends before the header and 36 fields
  kTooLarge,       // more than kMaxFileSize bytes
  kLabelTooLong,   // a label longer than kMaxLabelLength
  kCannotOpen,
  kCannotRead,
  kCannotWrite,
};

// The text a message box shows for `error` (empty for kNone). kNotLabelsFile
// gives the program's long-standing message word for word.
std::string Message(LabelsError error);

struct DecodeResult {
  LabelsError error = LabelsError::kNone;
  std::string detail;  // what exactly went wrong, for the message's details
  Labels labels;       // set only when error is kNone
  explicit operator bool() const { return error == LabelsError::kNone; }
};

// Reads a labels file's bytes: the header field, which must equal
// `headerWord` exactly, then 36 fields, none longer than kMaxLabelLength;
// anything after them is ignored.
//
// Fields: blanks (space, tab) before and after an unquoted field are dropped;
// an unquoted field runs up to the next comma or line end. A field that begins
// with a double quote runs to the next lone double quote ("" inside it is one
// double quote), or to the end of the line when the quote is never closed;
// whatever stands between the closing quote and the next comma or line end is
// dropped. An empty line is one empty field. Lines end in CR LF, LF or CR.
//
// Text is UTF-8 (a leading byte-order mark is skipped); bytes that are not
// valid UTF-8 are read as Windows-1252, the code page of older files. A
// marked file that is not valid UTF-8 gets U+FFFD for the broken bytes.
// The returned labels are UTF-8 and never hold CR or LF.
DecodeResult DecodeLabels(std::string_view bytes, std::string_view headerWord);

// The file for `labels`: the header word and one line per label, each ended
// by CR LF, in UTF-8 without a byte-order mark. A label is written as it is,
// unless reading it back would change it: one that holds a comma, begins with
// a double quote, or begins or ends with a blank is put in double quotes, with
// each double quote inside doubled. A box holds a single line, so a line break
// inside a label (CR LF, LF or CR) is written as one blank rather than break
// the file's one-line-per-label shape; bytes that are not UTF-8 become U+FFFD.
std::string EncodeLabels(const Labels& labels);

}  // namespace switch_labels
