#pragma once
// Response bodies to text (UTF-8 in memory) by the charset a response declares.
#include <string>
#include <string_view>

namespace zor {

// The charset parameter of a Content-Type value ("text/html; charset=utf-8"
// gives "utf-8"), unquoted; empty when there is none.
std::string CharsetOfContentType(std::string_view content_type);

// Decodes the bytes: UTF-8 when the charset is empty, "utf-8" or unknown
// (invalid sequences become U+FFFD); ISO-8859-1 and
// Latin-1 byte by byte; US-ASCII with bytes above 127 as '?'; UTF-16
// (LE, BE, or by its byte-order mark).
std::string DecodeBodyText(std::string_view bytes, std::string_view charset);

}  // namespace zor

namespace zor {

// Length of the longest prefix that does not end inside a UTF-8 sequence, so
// that a sequence split across two reads is decoded whole with the next one.
size_t CompleteUTF8Prefix(std::string_view bytes);

}  // namespace zor
