#pragma once
// The client side of the opening handshake as texts and checks: the request
// lines, the capture and parsing of the server's answer, the accept key, and
// the Hixie-76 challenge answer shared with the server side. Sans-IO: the
// connection writes the text and feeds the answer's bytes.
#include "websocket/ws_types.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zor {

class TzorWSExtensions;

inline constexpr const char* kWebSocketAcceptGUID = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";

// Base64 of SHA-1 over key + GUID (28 characters).
std::string GetAcceptKey(std::string_view key);
// Base64 of 16 CSPRNG bytes, each in 0..254.
std::string GenerateHandshakeKey();
// The 16-byte answer to a draft-76 client: MD5 over the two key numbers (the
// digits of each key divided by its space count, as 8 hex digits) and the
// third key, given in hex.
std::string GetHixie76Answer(std::string_view key1, std::string_view key2, std::string_view key3Hex);

// What the client decided; the request is built from it.
struct TzorWSHandshakeRequest {
  std::string Path;  // "/" is put in front when missing
  std::string Host;
  int Port = 80;
  std::string Origin;     // the host when empty
  std::string Protocols;  // requested subprotocols, comma-separated
  bool BasicAuthentication = false;
  std::string User, Password;
  bool TokenAuthentication = false;
  std::string AuthName, AuthToken;
  const TzorWSExtensions* Extensions = nullptr;  // offers, when set
  std::string Key;                               // GenerateHandshakeKey()

  std::string RequestPath() const { return Path.starts_with("/") ? Path : "/" + Path; }
  // The host alone on ports 80 and 443 (with or without TLS), else host:port.
  std::string Authority() const { return Port == 80 || Port == 443 ? Host : Host + ":" + std::to_string(Port); }
  std::string OriginOrHost() const { return Origin.empty() ? Host : Origin; }
  // "Basic " and the credentials in Base64 of their single-byte form.
  std::string BasicCredentials() const;
};

// The request lines in order (without the empty line); OnHandshake may edit them.
std::vector<std::string> BuildHandshakeRequestLines(const TzorWSHandshakeRequest& request);
// Each line followed by CR LF, then the empty line: the bytes of one write.
std::string HandshakeRequestText(const std::vector<std::string>& lines);

// Collects the answer's header lines up to the empty line, and not a byte more
// (frames may follow in the same read). Lines end in LF, CR LF or both.
class TzorWSHandshakeResponseReader {
 public:
  // Returns the bytes consumed; throws TzorWSException when the header grows
  // beyond MaxHeaderSize.
  size_t Read(const uint8_t* data, size_t size);
  bool Complete() const { return complete_; }
  const std::vector<std::string>& Lines() const { return lines_; }
  size_t MaxHeaderSize() const { return maxHeaderSize_; }
  void SetMaxHeaderSize(size_t value) { maxHeaderSize_ = value; }

 private:
  std::vector<std::string> lines_;
  std::string line_;
  size_t total_ = 0;
  size_t maxHeaderSize_ = 16 * 1024;
  bool complete_ = false;
};

// The protocols and extensions of an opening handshake.
class TzorWSHandshake_Base {
 public:
  virtual ~TzorWSHandshake_Base() = default;
  const std::string& Protocols() const { return FProtocols; }
  const std::string& Extensions() const { return FExtensions; }

 protected:
  std::string FProtocols;   // the subprotocol the server named
  std::string FExtensions;  // the server's extension answer
};

// The client side of the WebSocket opening handshake.
class TzorWSHandshake : public TzorWSHandshake_Base {};

// The server's answer, parsed from its header lines on construction. A status
// other than 101 or 30x throws zor::Exception "Error Decoding Header: Switching
// Protocols [<status line>]"; bad Upgrade or Connection lines throw
// TzorWSException "Error Decoding Header: Upgrade".
class TzorWSHandShakeClient : public TzorWSHandshake {
 public:
  explicit TzorWSHandShakeClient(const std::vector<std::string>& lines);
  bool Redirect() const { return FRedirect; }
  const std::string& Accept() const { return FAccept; }
  const std::string& Location() const { return FLocation; }

 private:
  bool FRedirect = false;
  std::string FAccept;
  std::string FLocation;
};

// What the server's answer to the opening handshake decided.
struct TzorWSHandshakeOutcome {
  bool Redirected = false;  // handed to the redirect handler; the connection stays disabled
  std::string Protocol;     // the connection's subprotocol from now on
};

// An extension answer naming one the client did not offer fails the
// handshake: its frames would otherwise be read without it.
void CheckExtensionsOffered(std::string_view answer, TzorWSExtensions& offered);

// The server's subprotocol must be one of those requested (comma-separated);
// a server naming none when some were requested fails too: "Protocol not
// supported %s.".
void CheckProtocolAnswer(std::string_view requestedProtocols, const std::string& answered);

// The checks after parsing, in order: redirect, accept key, subprotocol, then
// the extension answer is negotiated into `extensions` (when given).
TzorWSHandshakeOutcome CheckHandshakeResponse(const TzorWSHandShakeClient& answer, std::string_view key,
                                              std::string_view requestedProtocols, TzorWSExtensions* extensions,
                                              const std::function<void(const std::string&)>& onRedirect);

}  // namespace zor
