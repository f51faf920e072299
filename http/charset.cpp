#include "http/charset.h"

#include <strings.h>

#include "base/bytes.h"
#include "base/utf16.h"
#include "http/header_lines.h"

namespace zor {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool Is(std::string_view charset, std::string_view name) { return SameHeaderName(charset, name); }

std::string DecodeUTF16(std::string_view bytes, bool big_endian) {
  if (bytes.size() >= 2) {
    const auto b0 = static_cast<unsigned char>(bytes[0]), b1 = static_cast<unsigned char>(bytes[1]);
    if (b0 == 0xFE && b1 == 0xFF) { big_endian = true; bytes.remove_prefix(2); }
    else if (b0 == 0xFF && b1 == 0xFE) { big_endian = false; bytes.remove_prefix(2); }
  }
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
    units.push_back(static_cast<char16_t>(big_endian ? (a << 8 | b) : (b << 8 | a)));
  }
  return UTF16ToUTF8(units);
}

}  // namespace

std::string CharsetOfContentType(std::string_view content_type) {
  size_t pos = content_type.find(';');
  while (pos != std::string_view::npos) {
    std::string_view rest = content_type.substr(pos + 1);
    const size_t next = rest.find(';');
    std::string_view param = Trim(rest.substr(0, next));
    const size_t eq = param.find('=');
    if (eq != std::string_view::npos && Is(Trim(param.substr(0, eq)), "charset")) {
      std::string_view value = Trim(param.substr(eq + 1));
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
      return std::string(value);
    }
    pos = next == std::string_view::npos ? next : pos + 1 + next;
  }
  return {};
}

std::string DecodeBodyText(std::string_view bytes, std::string_view charset) {
  if (Is(charset, "iso-8859-1") || Is(charset, "latin1")) return Latin1ToUTF8(bytes);
  if (Is(charset, "us-ascii") || Is(charset, "ascii")) return BytesToText(TBytes(bytes.begin(), bytes.end()));
  if (Is(charset, "utf-16le")) return DecodeUTF16(bytes, false);
  if (Is(charset, "utf-16be") || Is(charset, "utf-16")) return DecodeUTF16(bytes, true);
  return BytesToUTF8Text(TBytes(bytes.begin(), bytes.end()));
}

}  // namespace zor

namespace zor {

size_t CompleteUTF8Prefix(std::string_view bytes) {
  const size_t size = bytes.size();
  for (size_t back = 1; back <= 3 && back <= size; ++back) {
    const auto c = static_cast<unsigned char>(bytes[size - back]);
    if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const size_t needed = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return needed > back ? size - back : size;
  }
  return size;
}

}  // namespace zor
