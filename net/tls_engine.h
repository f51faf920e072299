#pragma once
// TLS engines work on buffers: ciphertext from the peer is put in, plaintext
// comes out, and whatever must go to the peer collects in an outgoing buffer.
// They never touch a socket, so one engine serves a blocking connection and
// the event-driven server alike. An engine is not locked; its connection
// serialises the calls.
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zor {

enum TwsTLSVersions : uint8_t { tlsUndefined, tls1_0, tls1_1, tls1_2, tls1_3 };

enum class TzorTLSSide : uint8_t { tlsClient, tlsServer };

// Picks one of the client's offered protocols; false declines (no ALPN answer).
using TzorALPNSelector = std::function<bool(const std::vector<std::string>& offered, std::string& chosen)>;

// One certificate of the peer's chain as a verification hook sees it.
struct TzorTLSCertificateInfo {
  std::string Subject;  // one-line form, "/CN=localhost"
  std::string Issuer;
  std::string PEM;
};

// Asked for every certificate of the peer's chain, from the root down, with
// the TLS library's verdict (`ok`, and its verification error code, 0 when
// ok); the answer is the verdict that counts.
using TzorTLSVerifyPeer =
    std::function<bool(const TzorTLSCertificateInfo& certificate, bool ok, int depth, int error)>;

// The settings a TLS engine is made with.
struct TzorTLSSettings {
  TzorTLSSide Side = TzorTLSSide::tlsClient;
  // One version, or tlsUndefined for every version from TLS 1.0 to 1.3.
  TwsTLSVersions Version = tlsUndefined;
  // Offered in this order (client); the server answers from it unless a selector is set.
  std::vector<std::string> ALPNProtocols;
  TzorALPNSelector ALPNSelector;  // server side

  std::string RootCertFile;  // empty: the system's trusted roots
  std::string CertFile;      // own certificate (chain), PEM
  std::string KeyFile;
  // The same as PEM text, taken instead of the files when set: for a
  // certificate made at run time, which then never touches the disk.
  std::string CertPEM;
  std::string KeyPEM;
  std::function<std::string()> OnGetPassword;  // password of an encrypted key

  // Client: verify the server's chain and its host name. Server: ask the
  // client for a certificate and verify it when one is sent.
  bool VerifyCertificate = false;
  int VerifyDepth = -1;  // negative: the engine's default
  // With VerifyCertificate, on the OpenSSL engine: the application's say on
  // each certificate. The host-name check is part of the verdict it gets.
  TzorTLSVerifyPeer OnVerifyPeer;
  // Server: refuse clients without certificate; ask only in the first handshake.
  bool FailIfNoCertificate = false;
  bool VerifyClientOnce = false;
  std::string CipherList;  // empty: the engine's default
};

// What a TLS engine reports about an established connection.
struct TzorTLSConnectionInfo {
  std::string Version;  // "TLSv1.3"
  std::string Cipher;
  std::string ALPN;     // empty when none was negotiated
  std::string PeerSubject;  // one-line subject of the peer certificate, empty without one
  std::string ServerName;   // server side: the name the client asked for (SNI)
  bool SessionReused = false;
};

// Where an engine may fetch ciphertext itself during one read once what was
// put in is used up (a socket read that does not wait): writes at most
// room.size() bytes into `room` and returns how many, 0 when none are
// there now. It must not throw.
using TzorCiphertextSource = std::function<size_t(std::span<char> room)>;

// A buffer-based TLS engine: ciphertext in, plaintext out.
class TzorTLSEngine {
 public:
  virtual ~TzorTLSEngine() = default;

  // Runs the handshake as far as the incoming bytes allow; true once done.
  // Raises EzorTLSError when it fails (the alert to the peer stays outgoing).
  virtual bool Handshake() = 0;
  virtual bool HandshakeDone() const = 0;

  // Free room for at least `size` bytes of ciphertext from the peer: a
  // socket reads into it and CommitIncoming adds what it read, which saves
  // copying the bytes in. Other calls (reads, writes) leave it in place, so
  // the socket may fill it without holding the engine; the next
  // IncomingRoom or PutIncoming may move it.
  virtual std::span<char> IncomingRoom(size_t size) = 0;
  virtual void CommitIncoming(size_t size) = 0;
  // Ciphertext received from the peer, copied in.
  void PutIncoming(std::string_view ciphertext) {
    if (ciphertext.empty()) return;
    std::memcpy(IncomingRoom(ciphertext.size()).data(), ciphertext.data(), ciphertext.size());
    CommitIncoming(ciphertext.size());
  }
  // Decrypts into `out` until it is full or the ciphertext in is used up;
  // returns the number of bytes, 0 when more ciphertext is needed or the
  // peer has closed (see PeerClosed).
  size_t ReadInto(std::span<char> out) { return ReadInto(out, {}); }
  // The same; an engine that can lets its record layer read straight from
  // `source` (when set) once the ciphertext put in is used up, which saves
  // copying those bytes in.
  virtual size_t ReadInto(std::span<char> out, const TzorCiphertextSource& source) = 0;
  // The same, appending at most `max` bytes to `out`.
  size_t Read(std::string& out, size_t max, const TzorCiphertextSource& source = {});
  virtual bool PeerClosed() const = 0;
  // Encrypts; the records wait in the outgoing buffer.
  virtual void Write(std::string_view plaintext) = 0;
  // Queues a close notification.
  virtual void Shutdown() = 0;

  virtual bool HasOutgoing() const = 0;
  // Moves the pending outgoing bytes into `out` (appending).
  virtual void TakeOutgoing(std::string& out) = 0;

  virtual TzorTLSConnectionInfo Info() const = 0;
};

// Shared configuration from which engines for single connections are made
// (loaded certificates, trust store). Safe to use from several threads.
class TzorTLSContext {
 public:
  virtual ~TzorTLSContext() = default;
  virtual const TzorTLSSettings& Settings() const = 0;
  // `host` is the name the client connects to (SNI and host-name check);
  // ignored on the server side.
  virtual std::unique_ptr<TzorTLSEngine> NewEngine(const std::string& host) const = 0;
};

}  // namespace zor
