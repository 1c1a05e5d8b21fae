#include "switch_labels/LabelsCodec.h"

#include <cstdint>
#include <optional>

namespace switch_labels {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Length of the well-formed UTF-8 sequence at the start of `s`, or 0. Rejects
// overlong forms, surrogates and code points past U+10FFFF.
std::size_t Utf8SequenceLength(std::string_view s) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const auto continuation = [&](std::size_t i) { return i < s.size() && (byte(i) & 0xC0) == 0x80; };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return continuation(1) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (!continuation(1) || !continuation(2)) return 0;
    if (lead == 0xE0 && byte(1) < 0xA0) return 0;  // overlong
    if (lead == 0xED && byte(1) > 0x9F) return 0;  // surrogate
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    if (!continuation(1) || !continuation(2) || !continuation(3)) return 0;
    if (lead == 0xF0 && byte(1) < 0x90) return 0;  // overlong
    if (lead == 0xF4 && byte(1) > 0x8F) return 0;  // past U+10FFFF
    return 4;
  }
  return 0;
}

bool IsValidUtf8(std::string_view s) {
  while (!s.empty()) {
    const std::size_t length = Utf8SequenceLength(s);
    if (length == 0) return false;
    s.remove_prefix(length);
  }
  return true;
}

std::string ReplaceInvalidUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  while (!s.empty()) {
    const std::size_t length = Utf8SequenceLength(s);
    if (length == 0) {
      out += kReplacement;
      s.remove_prefix(1);
    } else {
      out += s.substr(0, length);
      s.remove_prefix(length);
    }
  }
  return out;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Windows-1252 0x80..0x9F. The five bytes the code page leaves undefined map
// to the control characters of the same value, as Windows itself maps them.
constexpr std::uint16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                           0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string FromWindows1252(std::string_view s) {
  std::string out;
  out.reserve(s.size() + s.size() / 2);
  for (const char c : s) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 && byte <= 0x9F) {
      AppendUtf8(out, kCp1252High[byte - 0x80]);
    } else {
      AppendUtf8(out, byte);
    }
  }
  return out;
}

// The file's text in UTF-8. `storage` keeps a converted copy alive.
std::string_view TextOf(std::string_view bytes, std::string& storage) {
  const bool marked = bytes.starts_with(kByteOrderMark);
  if (marked) bytes.remove_prefix(kByteOrderMark.size());
  if (IsValidUtf8(bytes)) return bytes;
  storage = marked ? ReplaceInvalidUtf8(bytes) : FromWindows1252(bytes);
  return storage;
}

// Reads fields one after another, the way the labels file has always been read.
class FieldReader {
 public:
  explicit FieldReader(std::string_view text) : text_(text) {}

  // The next field, or nothing at the end of the text. A comma at the very
  // end still announces a (then empty) field.
  std::optional<std::string> next() {
    if (pos_ >= text_.size() && !afterComma_) return std::nullopt;
    afterComma_ = false;
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
    std::string field = pos_ < text_.size() && text_[pos_] == '"' ? quoted() : unquoted();
    endField();
    return field;
  }

 private:
  bool atFieldEnd() const { return pos_ >= text_.size() || text_[pos_] == ',' || IsLineEnd(text_[pos_]); }

  std::string quoted() {
    std::string field;
    ++pos_;
    while (pos_ < text_.size() && !IsLineEnd(text_[pos_])) {
      const char c = text_[pos_++];
      if (c != '"') {
        field += c;
      } else if (pos_ < text_.size() && text_[pos_] == '"') {
        field += '"';
        ++pos_;
      } else {
        break;
      }
    }
    while (!atFieldEnd()) ++pos_;  // what follows the closing quote is dropped
    return field;
  }

  std::string unquoted() {
    const std::size_t start = pos_;
    while (!atFieldEnd()) ++pos_;
    std::size_t end = pos_;
    while (end > start && IsBlank(text_[end - 1])) --end;
    return std::string(text_.substr(start, end - start));
  }

  // Consumes the comma or line end (CR LF, LF or CR) that ended the field.
  void endField() {
    if (pos_ >= text_.size()) return;
    const char c = text_[pos_++];
    if (c == ',') {
      afterComma_ = true;
    } else if (c == '\r' && pos_ < text_.size() && text_[pos_] == '\n') {
      ++pos_;
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  bool afterComma_ = false;
};

// The length of valid UTF-8 `s` as a label box counts it: one for each
// character, two for one past U+FFFF.
std::size_t Utf16Length(std::string_view s) {
  std::size_t length = 0;
  for (const char c : s) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) != 0x80) ++length;  // a character's first byte
    if (byte >= 0xF0) ++length;           // the first of four
  }
  return length;
}

// A box holds one line: a line break inside a label becomes one blank, so the
// file keeps one line per label and no later label moves.
std::string OneLine(std::string_view label) {
  std::string out;
  out.reserve(label.size());
  for (std::size_t i = 0; i < label.size(); ++i) {
    const char c = label[i];
    if (c == '\r' && i + 1 < label.size() && label[i + 1] == '\n') continue;
    out += IsLineEnd(c) ? ' ' : c;
  }
  return out;
}

bool NeedsQuotes(std::string_view label) {
  if (label.empty()) return false;
  return label.find(',') != std::string_view::npos || label.front() == '"' || IsBlank(label.front()) ||
         IsBlank(label.back());
}

void AppendField(std::string& out, std::string_view label) {
  if (!NeedsQuotes(label)) {
    out += label;
    return;
  }
  out += '"';
  for (const char c : label) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

}  // namespace

std::string Message(LabelsError error) {
  switch (error) {
    case LabelsError::kNone: return {};
    case LabelsError::kNotLabelsFile: return "This file is not a valid 'Labels' file!";
    case LabelsError::kTooShort: return "This 'Labels' file is incomplete. No label was changed.";
    case LabelsError::kTooLarge: return "This file is too large to be a 'Labels' file. No label was changed.";
    case LabelsError::kLabelTooLong:
      return "A label in this 'Labels' file is longer than a label box can hold. No label was changed.";
    case LabelsError::kCannotOpen: return "Couldn't open the labels file. No label was changed.";
    case LabelsError::kCannotRead: return "Couldn't read the labels file. No label was changed.";
    case LabelsError::kCannotWrite:
      return "Couldn't save the labels file. A file of that name keeps its old content.";
  }
  return {};
}

DecodeResult DecodeLabels(std::string_view bytes, std::string_view headerWord) {
  DecodeResult result;
  // Only the header is looked at in an oversized file, to tell a stranger
  // file from a labels file gone wrong.
  const bool tooLarge = bytes.size() > kMaxFileSize;
  if (tooLarge) bytes = bytes.substr(0, kMaxFileSize);

  std::string storage;
  FieldReader reader(TextOf(bytes, storage));
  const std::optional<std::string> header = reader.next();
  if (!header) {
    result.error = LabelsError::kTooShort;
    result.detail = "the file is empty";
    return result;
  }
  if (*header != headerWord) {
    result.error = LabelsError::kNotLabelsFile;
    return result;
  }
  if (tooLarge) {
    result.error = LabelsError::kTooLarge;
    result.detail = "larger than 1 MiB";
    return result;
  }
  Labels labels;
  for (std::size_t k = 0; k < kLabelCount; ++k) {
    std::optional<std::string> field = reader.next();
    if (!field) {
      result.error = LabelsError::kTooShort;
      result.detail = "ends after " + std::to_string(k) + " of the 36 labels";
      return result;
    }
    if (const std::size_t length = Utf16Length(*field); length > kMaxLabelLength) {
      result.error = LabelsError::kLabelTooLong;
      result.detail = "the label of Text" + std::to_string(k + 1) + " has " + std::to_string(length) +
                      " characters; a label box holds " + std::to_string(kMaxLabelLength);
      return result;
    }
    labels[k] = std::move(*field);
  }
  result.labels = std::move(labels);
  return result;
}

std::string EncodeLabels(const Labels& labels) {
  std::string out;
  out += kHeaderWord;
  out += "\r\n";
  for (const std::string& label : labels) {
    const std::string_view text = label;
    AppendField(out, OneLine(IsValidUtf8(text) ? std::string(text) : ReplaceInvalidUtf8(text)));
    out += "\r\n";
  }
  return out;
}

}  // namespace switch_labels
