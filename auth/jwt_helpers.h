#pragma once
// Base64 forms of token parts: a part is the URL-safe, unpadded Base64 of its
// bytes (RFC 7515 section 2).
#include "base/bytes.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace zor {

// Standard Base64 with padding.
std::string BytesToBase64(const TBytes& bytes);
// Drops line breaks and trailing "=", then "+" -> "-" and "/" -> "_".
std::string Base64ToBase64URL(std::string_view text);
// Pads with "=" to a multiple of 4, then "-" -> "+" and "_" -> "/".
std::string Base64URLToBase64(std::string_view text);
// Bytes of standard Base64 text; characters outside the alphabet are skipped.
TBytes Base64ToBytes(std::string_view text);

// A token part of the UTF-8 text, and of raw bytes.
std::string EncodeJWTPart(std::string_view text);
std::string EncodeJWTPart(const TBytes& bytes);

// header "." payload: the bytes a signature covers.
std::string SigningInput(std::string_view header, std::string_view payload);

// Seconds since 1970-01-01 UTC, whole: the unit of the time claims.
int64_t UnixSecondsNow();

// True when the part holds only URL-safe Base64 characters and its length
// can be the unpadded form of whole bytes. Verifiers check signatures with it
// so that one signature has one spelling.
bool IsBase64URLPart(std::string_view part);
// The bytes of a part that passes IsBase64URLPart; other parts give nothing
// and set `ok` false.
TBytes DecodeBase64URLPart(std::string_view part, bool& ok);

}  // namespace zor
