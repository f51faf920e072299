#include "websocket/handshake.h"

#include "base/bytes.h"
#include "base/digest.h"
#include "base/format.h"
#include "base/text.h"
#include "websocket/extensions.h"
#include "websocket/masking.h"

namespace zor {

namespace {

// Exactly one space follows each colon: values are taken at these positions.
constexpr size_t kStatusTextAt = 9;  // after "HTTP/1.1 "
constexpr size_t kAcceptAt = 22;     // "Sec-WebSocket-Accept: "
constexpr size_t kProtocolAt = 24;   // "Sec-WebSocket-Protocol: "
constexpr size_t kExtensionsAt = 26; // "Sec-WebSocket-Extensions: "
constexpr size_t kLocationAt = 10;   // "Location: "

std::string From(const std::string& line, size_t at) { return at < line.size() ? line.substr(at) : std::string(); }

uint32_t Hixie76KeyNumber(std::string_view key) {
  uint32_t number = 0, spaces = 0;
  for (char c : key) {
    if (c >= '0' && c <= '9') number = number * 10 + static_cast<uint32_t>(c - '0');
    if (c == ' ') ++spaces;
  }
  if (spaces == 0) throw TzorWSException("Error decoding sec-webSocket-key.");
  return number / spaces;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string GetAcceptKey(std::string_view key) {
  const std::string input = UTF8ToLatin1(std::string(key) + kWebSocketAcceptGUID);
  const TBytes digest = HashSHA1(reinterpret_cast<const uint8_t*>(input.data()), input.size());
  return EncodeBase64(digest.data(), digest.size());
}

std::string GenerateHandshakeKey() {
  uint8_t bytes[16];
  TzorWSKeyBytes().Draw(bytes, sizeof bytes);
  return EncodeBase64(bytes, sizeof bytes);
}

std::string GetHixie76Answer(std::string_view key1, std::string_view key2, std::string_view key3Hex) {
  const std::string hex = Format("%.8X%.8X", Hixie76KeyNumber(key1), Hixie76KeyNumber(key2)) + std::string(key3Hex);
  const TBytes digest = HexTextToBytes(MD5HexOfHexText(hex));
  return std::string(digest.begin(), digest.end());
}

std::string TzorWSHandshakeRequest::BasicCredentials() const {
  return "Basic " + EncodeBase64Text(User + ":" + Password, false);
}

std::vector<std::string> BuildHandshakeRequestLines(const TzorWSHandshakeRequest& r) {
  std::vector<std::string> lines;
  lines.push_back("GET " + r.RequestPath() + " HTTP/1.1");
  lines.push_back("Host: " + r.Authority());
  lines.push_back("Upgrade: websocket");
  lines.push_back("Connection: Upgrade");
  lines.push_back("Sec-WebSocket-Key: " + r.Key);
  lines.push_back("Origin: " + r.OriginOrHost());
  if (!r.Protocols.empty()) lines.push_back("Sec-WebSocket-Protocol: " + r.Protocols);
  if (r.BasicAuthentication) lines.push_back("Authorization: " + r.BasicCredentials());
  if (r.TokenAuthentication) lines.push_back("Authorization: " + r.AuthName + " " + r.AuthToken);
  if (r.Extensions) r.Extensions->WriteHeader(lines);
  lines.push_back("Sec-WebSocket-Version: 13");
  return lines;
}

std::string HandshakeRequestText(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text + "\r\n";
}

size_t TzorWSHandshakeResponseReader::Read(const uint8_t* data, size_t size) {
  size_t pos = 0;
  while (pos < size && !complete_) {
    const char c = static_cast<char>(data[pos++]);
    if (++total_ > maxHeaderSize_)
      throw TzorWSException(Format("Handshake response header larger than %zu bytes", maxHeaderSize_));
    if (c != '\n') {
      line_.push_back(c);
      continue;
    }
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    if (line_.empty())
      complete_ = true;
    else
      lines_.push_back(std::move(line_));
    line_.clear();
  }
  return pos;
}

TzorWSHandShakeClient::TzorWSHandShakeClient(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    if (MatchMask(line, "HTTP/*")) {
      const std::string status = From(line, kStatusTextAt);
      if (status.starts_with("30")) {
        FRedirect = true;
      } else if (status.find("101") == std::string::npos) {
        throw Exception("Error Decoding Header: Switching Protocols [" + line + "]");
      }
    } else if (!FRedirect) {
      if (MatchMask(line, "Upgrade: *") && !MatchMask(line, "* websocket"))
        throw TzorWSException("Error Decoding Header: Upgrade");
      if (MatchMask(line, "Connection: *") && !MatchMask(line, "*Upgrade*"))
        throw TzorWSException("Error Decoding Header: Upgrade");
      if (MatchMask(line, "Sec-WebSocket-Accept: *")) FAccept = From(line, kAcceptAt);
      if (MatchMask(line, "Sec-WebSocket-Protocol: *")) FProtocols = From(line, kProtocolAt);
      if (MatchMask(line, "Sec-WebSocket-Extensions: *")) FExtensions = From(line, kExtensionsAt);
    } else if (MatchMask(line, "Location: *")) {
      FLocation = From(line, kLocationAt);
      break;
    }
  }
}

// An extension the client did not offer fails the handshake (RFC 6455,
// 4.1): its frames would otherwise be read without it.
void CheckExtensionsOffered(std::string_view answer, TzorWSExtensions& offered) {
  while (!answer.empty()) {
    const size_t comma = answer.find(',');
    const std::string_view item = answer.substr(0, comma);
    answer = comma == std::string_view::npos ? std::string_view() : answer.substr(comma + 1);
    const std::string_view name = Trim(item.substr(0, item.find(';')));
    if (name.empty()) continue;
    const bool known = (offered.PerMessage_Deflate().Enabled() && name == offered.PerMessage_Deflate().GetName()) ||
                       (offered.DeflateFrame().Enabled() && name == offered.DeflateFrame().GetName());
    if (!known) throw TzorWSException(Format("Extension not supported %s.", std::string(name).c_str()));
  }
}

void CheckProtocolAnswer(std::string_view requestedProtocols, const std::string& answered) {
  if (requestedProtocols.empty() && answered.empty()) return;
  bool offered = false;
  size_t start = 0;
  while (!offered) {
    const size_t comma = requestedProtocols.find(',', start);
    offered = requestedProtocols.substr(start, comma - start) == answered;
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (!offered) throw TzorWSException(Format("Protocol not supported %s.", answered.c_str()));
}

TzorWSHandshakeOutcome CheckHandshakeResponse(const TzorWSHandShakeClient& answer, std::string_view key,
                                              std::string_view requestedProtocols, TzorWSExtensions* extensions,
                                              const std::function<void(const std::string&)>& onRedirect) {
  TzorWSHandshakeOutcome outcome;
  if (answer.Redirect() && !answer.Location().empty()) {
    if (!onRedirect) throw TzorWSException("Redirect to: " + answer.Location());
    onRedirect(answer.Location());
    outcome.Redirected = true;
    return outcome;
  }
  if (GetAcceptKey(key) != answer.Accept()) throw TzorWSException("Handshake Error: Invalid Accept Key");
  CheckProtocolAnswer(requestedProtocols, answer.Protocols());
  outcome.Protocol = answer.Protocols();
  if (extensions) extensions->DecodeExtensions(answer.Extensions());
  return outcome;
}

}  // namespace zor
