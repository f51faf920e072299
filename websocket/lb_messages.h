#pragma once
// The messages of the link between a server and its load balancer.
//
// Framed text: three decimal digits giving the length of a JSON header with the
// members "guid", "channel", "protocol", "include" and "exclude", the header,
// then the text. Framed binary: ten decimal digits giving the length of the
// header, the header, then the data; the header is the guid alone, or (binary
// broadcasts with a filter) a JSON header as for text, told apart by its "{".
// Control messages go as plain text: JSON objects with a "method", and the
// ready text.
//
// Strings are escaped in every header, so a header is plain ASCII and its
// length counts characters and bytes alike. Everything read from a peer is
// checked: a bad length, a header that is no JSON object or lacks a member
// raises TzorWSLoadBalancerProtocolError, never reads out of bounds.
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "base/streams.h"
#include "websocket/ws_types.h"

namespace zor {

inline constexpr std::string_view kLBMethodServerData = "zor@lb@server@data";
inline constexpr std::string_view kLBMethodServerBinding = "zor@lb@server@binding";
inline constexpr std::string_view kLBMethodClientConnection = "zor@lb@client@connection";
inline constexpr std::string_view kLBServerReady = "zor@lb@server@ready";
// The request path of a server's link, and of a client's binding request.
inline constexpr std::string_view kLBLinkPath = "/zor@load_balancer_client";
inline constexpr std::string_view kLBBindingPath = "/zor@lb@client@get@binding";

// A header whose length does not fit its digits, a length or header that
// cannot be read, a member missing.
class TzorWSLoadBalancerProtocolError : public TzorWSException {
 public:
  using TzorWSException::TzorWSException;
  const char* ClassName() const override { return "TzorWSLoadBalancerProtocolError"; }
};

// The addressing shared by text and binary link messages: a connection's guid,
// or (guid empty) a broadcast with its filters.
struct TzorWSLoadBalancerAddress {
  std::string FChannel, FExclude, FGuid, FInclude, FProtocol;

  bool IsBroadcast() const { return FGuid.empty(); }
  bool HasFilter() const { return !FChannel.empty() || !FExclude.empty() || !FInclude.empty() || !FProtocol.empty(); }
};

// A broadcast's address, the filters in the order Broadcast takes them.
inline TzorWSLoadBalancerAddress BroadcastFilter(const std::string& aChannel, const std::string& aProtocol,
                                                 const std::string& aExclude, const std::string& aInclude) {
  return {aChannel, aExclude, "", aInclude, aProtocol};
}

// A framed text message of the load-balancer link.
class TzorWSLoadBalancerMessage : public TzorWSLoadBalancerAddress {
 public:
  std::string FText;

  void Clear() { *this = {}; }
  // The framed text; raises when the header would need more than 3 digits.
  std::string Write() const;
  // Fields from a framed text; raises TzorWSLoadBalancerProtocolError.
  void Read(std::string_view aMessage);
};

// A framed binary message of the load-balancer link.
class TzorWSLoadBalancerBinary : public TzorWSLoadBalancerAddress {
 public:
  int32_t FSize = 0;
  TwsStreaming FStreaming = stmNone;

  void Clear() { *this = {}; }
  // Rewrites the stream in place as header length, header, original bytes;
  // position 0.
  void Write(TzorStringStream& aStream) const;
  // Fields from the stream's header; the stream keeps the bytes after it, at
  // position 0. Raises TzorWSLoadBalancerProtocolError.
  void Read(TzorStringStream& aStream);
};

// The control message announcing a client connection to the load balancer, or its end.
class TzorWSLoadBalancerClientConnection {
 public:
  bool FActive = false;
  std::string FChannel, FIP, FGuid, FProtocol;

  void Clear() { *this = {}; }
  std::string Write() const;
  void Read(std::string_view aText);
  bool operator==(const TzorWSLoadBalancerClientConnection&) const = default;
};

// The control message with the address a server offers clients through the load balancer.
class TzorWSLoadBalancerServerBinding {
 public:
  std::string FHost;
  int32_t FPort = 0;
  bool FSSL = false;

  void Clear() { *this = {}; }
  // The control message, with its "method".
  std::string Write() const;
  // The balancer's answer to a client's binding request: no "method".
  std::string WriteAnswer() const;
  // Reads either form.
  void Read(std::string_view aText);
  bool operator==(const TzorWSLoadBalancerServerBinding&) const = default;
};

// The control message that identifies a server to its load balancer.
class TzorWSLoadBalancerServerData {
 public:
  std::string FGuid;

  void Clear() { *this = {}; }
  std::string Write() const;
  void Read(std::string_view aText);
  bool operator==(const TzorWSLoadBalancerServerData&) const = default;
};

// The text a load balancer sends once the link is ready.
struct TzorWSLoadBalancerReady {
  bool operator==(const TzorWSLoadBalancerReady&) const = default;
};

// What a text message on the link is: a control message or a framed message.
using TzorWSLoadBalancerTextMessage =
    std::variant<TzorWSLoadBalancerServerData, TzorWSLoadBalancerServerBinding, TzorWSLoadBalancerClientConnection,
                 TzorWSLoadBalancerReady, TzorWSLoadBalancerMessage>;

// Tells the kinds apart by their first character; raises
// TzorWSLoadBalancerProtocolError for an unknown method or a bad message.
TzorWSLoadBalancerTextMessage ReadLoadBalancerText(std::string_view aText);

}  // namespace zor
