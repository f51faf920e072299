#include "base/bytes.h"

#include "base/exceptions.h"
#include "base/format.h"
#include "base/markup.h"
#include "base/utf16.h"

#include <array>
#include <cstring>

namespace zor {

TBytes UTF8TextToBytes(std::string_view text) { return TBytes(text.begin(), text.end()); }

std::string BytesToUTF8Text(const TBytes& bytes) {
  std::string_view in(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::string out;
  out.reserve(in.size());
  for (size_t pos = 0; pos < in.size();) AppendUTF8(out, DecodeUTF8(in, pos));
  return out;
}

std::string BytesToText(const TBytes& bytes) {
  std::string out(bytes.begin(), bytes.end());
  for (char& c : out) {
    if (static_cast<unsigned char>(c) > 127) c = '?';
  }
  return out;
}

void MoveBytes(const uint8_t* source, uint8_t* dest, int64_t count) {
  if (count > 0) std::memmove(dest, source, static_cast<size_t>(count));
}

void AppendBytes(const TBytes& source, TBytes& dest) { dest.insert(dest.end(), source.begin(), source.end()); }

namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int8_t, 256> MakeBase64Values() {
  std::array<int8_t, 256> v{};
  for (auto& x : v) x = -1;
  for (int i = 0; i < 64; ++i) v[static_cast<unsigned char>(kBase64[i])] = static_cast<int8_t>(i);
  return v;
}
constexpr auto kBase64Values = MakeBase64Values();

}  // namespace

TBytes HexTextToBytes(std::string_view hex) {
  TBytes out;
  out.reserve(hex.size() / 2);
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    const int hi = HexDigitValue(hex[i]), lo = HexDigitValue(hex[i + 1]);
    if (hi < 0 || lo < 0) {
      throw EConvertError(Format("'$%s' is not a valid integer value", std::string(hex.substr(i, 2)).c_str()));
    }
    out.push_back(static_cast<uint8_t>(hi * 16 + lo));
  }
  return out;
}

std::string HexTextToChars(std::string_view hex) {
  const TBytes bytes = HexTextToBytes(hex);
  return Latin1ToUTF8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string BytesToHexText(const uint8_t* data, size_t size) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out(size * 2, '0');
  for (size_t i = 0; i < size; ++i) {
    out[2 * i] = kHex[data[i] >> 4];
    out[2 * i + 1] = kHex[data[i] & 0xF];
  }
  return out;
}

std::string EncodeBase64(const uint8_t* data, size_t size) {
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    const uint32_t v = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += kBase64[(v >> 6) & 63];
    out += kBase64[v & 63];
  }
  if (size - i == 1) {
    const uint32_t v = data[i] << 16;
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += "==";
  } else if (size - i == 2) {
    const uint32_t v = (data[i] << 16) | (data[i + 1] << 8);
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += kBase64[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

std::string DecodeBase64(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 4 * 3);
  uint32_t acc = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=') break;
    const int v = kBase64Values[static_cast<unsigned char>(c)];
    if (v < 0) continue;
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((acc >> bits) & 0xFF);
    }
  }
  return out;
}

std::string Latin1ToUTF8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) AppendUTF8(out, static_cast<unsigned char>(c));
  return out;
}

std::string UTF8ToLatin1(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    const char32_t cp = DecodeUTF8(text, pos);
    out += cp <= 0xFF ? static_cast<char>(cp) : '?';
  }
  return out;
}

std::string EncodeBase64Text(std::string_view text, bool utf8) {
  return utf8 ? EncodeBase64(text) : EncodeBase64(UTF8ToLatin1(text));
}

std::string DecodeBase64Text(std::string_view text) { return Latin1ToUTF8(DecodeBase64(text)); }

std::string HexToBase64(std::string_view hex) {
  const TBytes bytes = HexTextToBytes(hex);
  return EncodeBase64(bytes.data(), bytes.size());
}

}  // namespace zor
