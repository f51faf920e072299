#pragma once
// The platform TLS engine: one client connection that reads and writes its
// socket itself (send, recv, select) and drives the security-provider
// interface (net/sspi.h) through credentials, the handshake loop with its
// "extra" bytes, renegotiation, and record encryption and decryption.
//
// The socket may be a real one or a stand-in. A socket whose recv answers
// EWOULDBLOCK (no bytes yet) makes a call return kWouldBlock with the
// connection's state kept; the same call made again later goes on from there.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/schannel_certificate.h"
#include "net/tls_engine.h"

namespace zor {

// The socket calls the platform TLS engine makes.
class TzorSChannelSocket {
 public:
  virtual ~TzorSChannelSocket() = default;
  // As the system calls: the bytes moved, -1 on failure (LastError says
  // why); Recv answers 0 when the peer has closed.
  virtual int Send(const char* data, int size) = 0;
  virtual int Recv(char* buffer, int size) = 0;
  // >0: readable; 0: nothing within the time; <0: failure.
  virtual int Select(int timeout_ms) = 0;
  virtual int LastError() const = 0;  // errno value
};

// The settings of a platform TLS engine's connection.
struct TzorSChannelSettings {
  TwsTLSVersions TLSVersion = tls1_0;
  std::vector<std::string> ALPNProtocols;
  std::string CipherList;  // colon-separated algorithm names
  TzorSChannelCertificate Certificate;
  // Trusted besides the system's roots and the "Root" stores.
  std::string RootCertFile;
};

// What the platform TLS engine reports about an established connection.
class TzorSChannelConnectionInfo {
 public:
  virtual ~TzorSChannelConnectionInfo() = default;
  virtual void SetProtocol(uint32_t protocol_bit);
  virtual void SetCipher(uint32_t id);
  virtual void SetHash(uint32_t id);
  virtual void SetExchange(uint32_t id);

  TwsTLSVersions Protocol = tlsUndefined;
  std::string Cipher, Hash, Exchange;  // algorithm names, empty when they have none
  uint32_t CiperStrength = 0, HashStrength = 0, ExchangeStrength = 0;
  uint32_t CipherId = 0, HashId = 0, ExchangeId = 0;
  std::string CipherSuite;  // the suite's name
};

// The platform TLS engine of one client connection.
class TzorSChannelEngine {
 public:
  static constexpr int kWouldBlock = -2;

  // The socket outlives the engine. `server_name` is sent (unless it is an
  // address) and checked against the certificate.
  TzorSChannelEngine(TzorSChannelSocket& socket, std::string server_name, TzorSChannelSettings settings);
  ~TzorSChannelEngine();
  TzorSChannelEngine(const TzorSChannelEngine&) = delete;
  TzorSChannelEngine& operator=(const TzorSChannelEngine&) = delete;

  // The client connect: 1 done, 0 waiting for the socket (call again), -1
  // failed (SChannelLastErrorText says why).
  int Connect();
  // Decrypted bytes available, waiting up to `wait_ms` for the socket when
  // none are buffered: their count; 0 when none came in time or the peer
  // closed the socket; -1 after the peer's close notification or a failure;
  // kWouldBlock.
  int Pending(int wait_ms);
  // Pending(0), then copies at most `size` decrypted bytes.
  int Read(char* buffer, int size);
  // Encrypts and sends all bytes: `size`, or the failing send's result, or -1.
  int Write(const char* data, int size);
  // Sends a close notification.
  int Shutdown();

  bool CloseNotified() const { return close_notified_; }
  std::string NegotiatedALPN();
  // Created on first request; nullptr before the handshake is done.
  const TzorSChannelConnectionInfo* ConnectionInfo();
  std::string PeerSubject() const;

  // Raised before a client certificate is picked from the server's issuer list.
  std::function<void()> OnCredentials;

 private:
  struct State;
  std::unique_ptr<State> s_;
  bool close_notified_ = false;
};

// The last failure of the engine on this thread: its text and status code,
// and the status of the last certificate chain checked (0 when none).
const std::string& SChannelLastErrorText();
uint32_t SChannelLastErrorCode();
uint32_t SChannelLastCertStatus();

}  // namespace zor
