#include "net/schannel_tls_context.h"

#include <algorithm>
#include <cerrno>
#include <climits>

#include "net/byte_queue.h"
#include "net/schannel_error.h"

namespace zor {

namespace {

// Bytes received are read from `incoming`; bytes sent collect in `outgoing`.
// With nothing received, recv answers "would block".
class BufferSocket : public TzorSChannelSocket {
 public:
  int Send(const char* data, int size) override {
    outgoing.append(data, static_cast<size_t>(size));
    return size;
  }
  int Recv(char* buffer, int size) override {
    const size_t n = incoming.Take(buffer, size > 0 ? static_cast<size_t>(size) : 0);
    if (n > 0) return static_cast<int>(n);
    error_ = EWOULDBLOCK;
    return -1;
  }
  int Select(int) override { return incoming.Size() > 0 ? 1 : 0; }
  int LastError() const override { return error_; }

  TzorByteQueue incoming;
  std::string outgoing;

 private:
  int error_ = 0;
};

const char* VersionText(TwsTLSVersions version) {
  switch (version) {
    case tls1_0: return "TLSv1";
    case tls1_1: return "TLSv1.1";
    case tls1_2: return "TLSv1.2";
    case tls1_3: return "TLSv1.3";
    default: return "";
  }
}

class SChannelTLSEngine : public TzorTLSEngine {
 public:
  SChannelTLSEngine(const std::string& host, const TzorSChannelSettings& settings) : engine_(socket_, host, settings) {}

  bool Handshake() override {
    if (done_) return true;
    const int r = engine_.Connect();
    if (r < 0) throw SChannelError("SChannel initialization error: " + SChannelLastErrorText(), SChannelLastCertStatus());
    done_ = r == 1;
    return done_;
  }
  bool HandshakeDone() const override { return done_; }

  std::span<char> IncomingRoom(size_t size) override { return socket_.incoming.Room(size); }
  void CommitIncoming(size_t size) override { socket_.incoming.Commit(size); }

  // Reads only what was put in: its socket stand-in has no source.
  size_t ReadInto(std::span<char> out, const TzorCiphertextSource&) override {
    if (!done_ && !Handshake()) return 0;
    size_t got = 0;
    while (got < out.size() && !peer_closed_) {
      const size_t step = std::min<size_t>(out.size() - got, INT_MAX);
      const int n = engine_.Read(out.data() + got, static_cast<int>(step));
      if (n > 0) {
        got += static_cast<size_t>(n);
        continue;
      }
      if (engine_.CloseNotified()) peer_closed_ = true;
      else if (n == -1) throw EzorTLSError(SChannelLastErrorText());
      break;
    }
    return got;
  }
  bool PeerClosed() const override { return peer_closed_; }

  void Write(std::string_view plaintext) override {
    if (!done_) throw EzorTLSError("TLS write before the handshake finished");
    if (engine_.Write(plaintext.data(), static_cast<int>(plaintext.size())) != static_cast<int>(plaintext.size()))
      throw EzorTLSError(SChannelLastErrorText());
  }

  void Shutdown() override {
    if (done_) engine_.Shutdown();
  }

  bool HasOutgoing() const override { return !socket_.outgoing.empty(); }
  void TakeOutgoing(std::string& out) override {
    out.append(socket_.outgoing);
    socket_.outgoing.clear();
  }

  TzorTLSConnectionInfo Info() const override {
    TzorTLSConnectionInfo info;
    if (!done_) return info;
    auto& engine = const_cast<TzorSChannelEngine&>(engine_);
    if (const TzorSChannelConnectionInfo* details = engine.ConnectionInfo()) {
      info.Version = VersionText(details->Protocol);
      info.Cipher = details->CipherSuite;
    }
    info.ALPN = engine.NegotiatedALPN();
    info.PeerSubject = engine.PeerSubject();
    return info;
  }

 private:
  BufferSocket socket_;
  TzorSChannelEngine engine_;
  bool done_ = false;
  bool peer_closed_ = false;
};

class SChannelContext : public TzorTLSContext {
 public:
  explicit SChannelContext(const TzorSChannelSettings& settings) : settings_(settings) {
    mirror_.Version = settings.TLSVersion;
    mirror_.ALPNProtocols = settings.ALPNProtocols;
    mirror_.RootCertFile = settings.RootCertFile;
    mirror_.VerifyCertificate = settings.Certificate.VerifyCertificate();
    mirror_.CipherList = settings.CipherList;
  }
  const TzorTLSSettings& Settings() const override { return mirror_; }
  std::unique_ptr<TzorTLSEngine> NewEngine(const std::string& host) const override {
    return std::make_unique<SChannelTLSEngine>(host, settings_);
  }

 private:
  TzorSChannelSettings settings_;
  TzorTLSSettings mirror_;
};

}  // namespace

std::shared_ptr<const TzorTLSContext> NewSChannelContext(const TzorSChannelSettings& settings) {
  return std::make_shared<SChannelContext>(settings);
}

}  // namespace zor
