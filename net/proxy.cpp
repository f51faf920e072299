#include "net/proxy.h"

#include <arpa/inet.h>

#include "base/bytes.h"
#include "base/format.h"
#include "net/net_errors.h"

namespace zor::proxy {

namespace {

void PutPort(std::string& out, uint16_t port) {
  out += static_cast<char>(port >> 8);
  out += static_cast<char>(port & 0xFF);
}

uint8_t Byte(std::string_view s, size_t i) { return static_cast<uint8_t>(s[i]); }

std::string SocksHeader(uint16_t port, uint32_t ipv4) {
  std::string out{"\x04\x01", 2};
  PutPort(out, port);
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((ipv4 >> shift) & 0xFF);
  return out;
}

// Values that would not fit their one-byte length fields are refused rather than truncated.
void CheckFieldLength(const std::string& value, const char* what) {
  if (value.empty() || value.size() > 255) throw EzorProxyError(Format("SOCKS %s must be 1 to 255 bytes long", what));
}

}  // namespace

std::string HttpConnectRequest(const TzorProxySettings& proxy, const std::string& host, uint16_t port) {
  const std::string authority =
      (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + std::to_string(port);
  std::string request = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n";
  if (!proxy.Username.empty())
    request += "Proxy-Authorization: Basic " + EncodeBase64(proxy.Username + ":" + proxy.Password) + "\r\n";
  request += "\r\n";
  return request;
}

size_t HttpHeadEnd(std::string_view received) {
  const size_t end = received.find("\r\n\r\n");
  return end == std::string_view::npos ? 0 : end + 4;
}

void CheckHttpConnectAnswer(std::string_view head) {
  const std::string_view status_line = head.substr(0, head.find("\r\n"));
  // "HTTP/1.x 200 ..." : the code sits after the first space.
  const size_t space = status_line.find(' ');
  const bool ok = status_line.substr(0, 5) == "HTTP/" && space != std::string_view::npos &&
                  space + 1 < status_line.size() && status_line[space + 1] == '2';
  if (!ok) throw EzorProxyError(Format("HTTP proxy refused the tunnel: %s", std::string(status_line).c_str()));
}

std::string Socks4Request(uint32_t ipv4, uint16_t port, const std::string& user_id) {
  std::string out = SocksHeader(port, ipv4);
  out += user_id;
  out += '\0';
  return out;
}

std::string Socks4ARequest(const std::string& host, uint16_t port, const std::string& user_id) {
  // 0.0.0.x with x != 0 tells the proxy that the host name follows the user id.
  std::string out = SocksHeader(port, 1);
  out += user_id;
  out += '\0';
  out += host;
  out += '\0';
  return out;
}

void CheckSocks4Reply(std::string_view reply) {
  if (reply.size() < kSocks4ReplySize || Byte(reply, 0) != 0)
    throw EzorProxyError("SOCKS 4 proxy sent a malformed reply");
  switch (Byte(reply, 1)) {
    case 90: return;
    case 91: throw EzorProxyError("SOCKS 4 proxy rejected the request (91: rejected or failed)");
    case 92: throw EzorProxyError("SOCKS 4 proxy rejected the request (92: cannot reach the client's identd)");
    case 93: throw EzorProxyError("SOCKS 4 proxy rejected the request (93: user id not confirmed by identd)");
    default: throw EzorProxyError(Format("SOCKS 4 proxy answered with unknown code %d", Byte(reply, 1)));
  }
}

std::string Socks5Greeting(bool with_password) {
  return with_password ? std::string("\x05\x01\x02", 3) : std::string("\x05\x01\x00", 3);
}

uint8_t CheckSocks5MethodReply(std::string_view reply, bool with_password) {
  if (reply.size() < kSocks5MethodReplySize || Byte(reply, 0) != 5)
    throw EzorProxyError("SOCKS 5 proxy sent a malformed method reply");
  const uint8_t method = Byte(reply, 1);
  if (method == 0xFF) throw EzorProxyError("SOCKS 5 proxy accepts none of the offered authentication methods");
  if (method != (with_password ? 2 : 0))
    throw EzorProxyError(Format("SOCKS 5 proxy chose authentication method %d, which was not offered", method));
  return method;
}

std::string Socks5PasswordRequest(const std::string& user, const std::string& password) {
  CheckFieldLength(user, "user name");
  if (password.size() > 255) throw EzorProxyError("SOCKS password must be at most 255 bytes long");
  std::string out(1, '\x01');
  out += static_cast<char>(user.size());
  out += user;
  out += static_cast<char>(password.size());
  out += password;
  return out;
}

void CheckSocks5PasswordReply(std::string_view reply) {
  if (reply.size() < kSocks5PasswordReplySize || Byte(reply, 0) != 1)
    throw EzorProxyError("SOCKS 5 proxy sent a malformed authentication reply");
  if (Byte(reply, 1) != 0)
    throw EzorProxyError(Format("SOCKS 5 proxy rejected the user name or password (status %d)", Byte(reply, 1)));
}

std::string Socks5ConnectRequest(const std::string& host, uint16_t port) {
  std::string out{"\x05\x01\x00", 3};
  unsigned char address[16];
  if (inet_pton(AF_INET, host.c_str(), address) == 1) {
    out += '\x01';
    out.append(reinterpret_cast<const char*>(address), 4);
  } else if (inet_pton(AF_INET6, host.c_str(), address) == 1) {
    out += '\x04';
    out.append(reinterpret_cast<const char*>(address), 16);
  } else {
    CheckFieldLength(host, "host name");
    out += '\x03';
    out += static_cast<char>(host.size());
    out += host;
  }
  PutPort(out, port);
  return out;
}

size_t Socks5ReplySize(std::string_view first5) {
  if (first5.size() < 5 || Byte(first5, 0) != 5) throw EzorProxyError("SOCKS 5 proxy sent a malformed reply");
  switch (Byte(first5, 3)) {
    case 1: return 4 + 4 + 2;
    case 3: return 4 + 1 + Byte(first5, 4) + 2;
    case 4: return 4 + 16 + 2;
    default: throw EzorProxyError(Format("SOCKS 5 proxy replied with unknown address type %d", Byte(first5, 3)));
  }
}

void CheckSocks5Reply(std::string_view reply) {
  if (reply.size() < 2 || Byte(reply, 0) != 5) throw EzorProxyError("SOCKS 5 proxy sent a malformed reply");
  static const char* const kReasons[] = {"succeeded",
                                         "general failure",
                                         "connection not allowed by ruleset",
                                         "network unreachable",
                                         "host unreachable",
                                         "connection refused",
                                         "TTL expired",
                                         "command not supported",
                                         "address type not supported"};
  const uint8_t code = Byte(reply, 1);
  if (code == 0) return;
  const char* reason = code < std::size(kReasons) ? kReasons[code] : "unknown error";
  throw EzorProxyError(Format("SOCKS 5 proxy could not connect (%d: %s)", code, reason));
}

}  // namespace zor::proxy
