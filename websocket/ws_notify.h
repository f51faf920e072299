#pragma once
// What a WebSocket component hands on: a pending notification (its own
// copies of the data, and a share of the connection, so that a connection
// freed by its owner outlives the events queued for it), and the components
// that can take a connection's events over: subprotocol components and the
// application's API component.
#include "base/streams.h"
#include "websocket/ws_connection.h"

#include <exception>
#include <string>

namespace zor {

// An event held for the main thread, with the connection it belongs to.
class TzorWSNotifyObject {
 public:
  TzorWSConnectionPtr FConnection;
  int32_t FInt = 0;  // close code or opcode
  std::exception_ptr FRawException;
  TzorStringStream FStream;
  std::string FText;
  std::string FText1;  // fragments: "1" when more frames follow, "0" on the last
};

// The notifications a connection's events become.
class TzorWSNotifyTarget {
 public:
  virtual ~TzorWSNotifyTarget() = default;
  virtual void DoNotifyConnect(TzorWSConnection* /*Connection*/) {}
  virtual void DoNotifyDisconnect(TzorWSConnection* /*Connection*/, int /*Code*/) {}
  virtual void DoNotifyMessage(TzorWSConnection* /*Connection*/, const std::string& /*Text*/) {}
  virtual void DoNotifyBinary(TzorWSConnection* /*Connection*/, const TzorStringStream& /*Data*/) {}
  virtual void DoNotifyFragmented(TzorWSConnection* /*Connection*/, const TzorStringStream& /*Data*/,
                                  TOpcode /*OpCode*/, bool /*Continuation*/) {}
  virtual void DoNotifyError(TzorWSConnection* /*Connection*/, const std::string& /*Error*/) {}
  virtual void DoNotifyException(TzorWSConnection* /*Connection*/, const std::exception& /*E*/) {}
};

// The fixed name of the library's broker subprotocol.
inline constexpr const char* kBrokerProtocol = "zor.broker";

// A subprotocol component: it takes the events of the connections that
// negotiated its protocol.
class TzorWSProtocol : public TzorWSNotifyTarget {
 public:
  // One name, or several separated by commas.
  virtual std::string ProtocolName() const = 0;
  // Put in front of the names ("<guid>.<name>") when not empty.
  virtual std::string Guid() const { return {}; }
  virtual bool IsBroker() const { return false; }

  // Ignoring letter case: a name or guid + "." + a name.
  bool Matches(const std::string& protocol) const;
  // The names offered in a client's request, each with the guid when there is one.
  std::string RequestedNames() const;
  // A message posted over HTTP for this protocol ("/zor/protocol/<name>/"
  // and `aPath`): `aAnswer` goes back to the poster as an HTML page.
  virtual void DoHTTPRequest(TzorWSConnection* /*Connection*/, const std::string& /*aPath*/, std::string& /*aAnswer*/,
                             const std::string& /*aBody*/) {}
};

// The application's API component: it takes the events of connections
// without a subprotocol; the component's own events follow only with RawMessages.
class TzorWSAPI : public TzorWSNotifyTarget {
 public:
  bool RawMessages() const { return FRawMessages; }
  void SetRawMessages(bool value) { FRawMessages = value; }
  // Called first for every text message.
  virtual void DoRawMessage(TzorWSConnection* /*Connection*/, const std::string& /*Text*/) {}

 private:
  bool FRawMessages = false;
};

}  // namespace zor
