#include "auth/jwt_helpers.h"

#include <chrono>

namespace zor {

std::string BytesToBase64(const TBytes& bytes) { return EncodeBase64(bytes.data(), bytes.size()); }

std::string Base64ToBase64URL(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\r' || c == '\n') continue;
    out += c;
  }
  while (!out.empty() && out.back() == '=') out.pop_back();
  for (char& c : out) {
    if (c == '+') c = '-';
    else if (c == '/') c = '_';
  }
  return out;
}

std::string Base64URLToBase64(std::string_view text) {
  std::string out(text);
  while (out.size() % 4 != 0) out += '=';
  for (char& c : out) {
    if (c == '-') c = '+';
    else if (c == '_') c = '/';
  }
  return out;
}

TBytes Base64ToBytes(std::string_view text) {
  const std::string decoded = DecodeBase64(text);
  return TBytes(decoded.begin(), decoded.end());
}

std::string EncodeJWTPart(std::string_view text) { return Base64ToBase64URL(EncodeBase64(text)); }

std::string EncodeJWTPart(const TBytes& bytes) { return Base64ToBase64URL(BytesToBase64(bytes)); }

std::string SigningInput(std::string_view header, std::string_view payload) {
  std::string input;
  input.reserve(header.size() + 1 + payload.size());
  input.append(header).append(1, '.').append(payload);
  return input;
}

int64_t UnixSecondsNow() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

bool IsBase64URLPart(std::string_view part) {
  if (part.size() % 4 == 1) return false;
  for (char c : part) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

TBytes DecodeBase64URLPart(std::string_view part, bool& ok) {
  ok = IsBase64URLPart(part);
  if (!ok) return {};
  return Base64ToBytes(Base64URLToBase64(part));
}

}  // namespace zor
