#pragma once
// Client side of the proxies a connection can be routed through: an HTTP
// CONNECT tunnel and SOCKS 4, 4A and 5. The messages are built and parsed
// here without IO; net/connection.cpp drives them over the socket.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zor {

enum TwsProxy : uint8_t { pxyHTTP, pxySocks4, pxySocks4A, pxySocks5 };

// The proxy a connection is routed through.
struct TzorProxySettings {
  bool Enabled = false;
  TwsProxy ProxyType = pxyHTTP;
  std::string Host;
  uint16_t Port = 0;
  // A non-empty user name switches proxy authentication on (Basic credentials
  // for HTTP, user name/password for SOCKS 5, the user id for SOCKS 4).
  std::string Username;
  std::string Password;
};

namespace proxy {

// "CONNECT host:port HTTP/1.1" with Host and, with a user name, Basic
// Proxy-Authorization lines.
std::string HttpConnectRequest(const TzorProxySettings& proxy, const std::string& host, uint16_t port);
// Index just after the CR LF CR LF ending the answer's head, or 0 while incomplete.
size_t HttpHeadEnd(std::string_view received);
// Raises EzorProxyError naming the status line unless the answer is 2xx.
void CheckHttpConnectAnswer(std::string_view head);

// SOCKS 4 request for an IPv4 address (4 bytes); SOCKS 4A request for a host name.
std::string Socks4Request(uint32_t ipv4, uint16_t port, const std::string& user_id);
std::string Socks4ARequest(const std::string& host, uint16_t port, const std::string& user_id);
constexpr size_t kSocks4ReplySize = 8;
void CheckSocks4Reply(std::string_view reply);

// SOCKS 5: greeting offering no authentication, or user name/password when
// `with_password` (and then only that method).
std::string Socks5Greeting(bool with_password);
constexpr size_t kSocks5MethodReplySize = 2;
// Returns the chosen method (0 or 2); raises when the proxy accepts none.
uint8_t CheckSocks5MethodReply(std::string_view reply, bool with_password);
std::string Socks5PasswordRequest(const std::string& user, const std::string& password);
constexpr size_t kSocks5PasswordReplySize = 2;
void CheckSocks5PasswordReply(std::string_view reply);
// CONNECT to an IPv4/IPv6 literal or a domain name.
std::string Socks5ConnectRequest(const std::string& host, uint16_t port);
// The reply's size once its first 5 bytes are known (depends on the address type).
size_t Socks5ReplySize(std::string_view first5);
void CheckSocks5Reply(std::string_view reply);

}  // namespace proxy
}  // namespace zor
