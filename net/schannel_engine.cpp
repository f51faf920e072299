#include "net/schannel_engine.h"

#include <cerrno>
#include <cstring>

#include "base/format.h"
#include "net/cert_store.h"
#include "net/schannel_algorithms.h"
#include "net/schannel_client_certificate.h"
#include "net/sspi.h"

namespace zor {

using namespace sspi;

namespace {

constexpr size_t kHandshakeBuffer = 65536;
// Room for the largest record a server may send (2^14 bytes and 2048 of expansion).
constexpr size_t kLargestRecord = 5 + 16384 + 2048;

// Per thread, so that connections failing at once keep their own texts.
thread_local std::string last_error_text;
thread_local uint32_t last_error_code = 0;
thread_local uint32_t last_cert_status = 0;

void SetError(const std::string& text, uint32_t code = 0) {
  last_error_text = text;
  last_error_code = code;
}

uint32_t ProtocolBits(TwsTLSVersions version) {
  switch (version) {
    case tls1_0: return SP_PROT_TLS1_0_CLIENT;
    case tls1_1: return SP_PROT_TLS1_1_CLIENT;
    case tls1_2: return SP_PROT_TLS1_2_CLIENT;
    case tls1_3: return SP_PROT_TLS1_3_CLIENT;
    default: return 0;  // TLS 1.0 to 1.3
  }
}

// The certificates of the "Root" stores, trusted besides the system's.
TzorCertList TrustedRoots() {
  TzorCertList roots;
  for (const auto place : {scspStoreCurrentUser, scspStoreLocalMachine})
    if (auto store = TzorCertStore::Open(scsnRoot, place))
      roots.insert(roots.end(), store->Certificates().begin(), store->Certificates().end());
  return roots;
}

}  // namespace

const std::string& SChannelLastErrorText() { return last_error_text; }
uint32_t SChannelLastErrorCode() { return last_error_code; }
uint32_t SChannelLastCertStatus() { return last_cert_status; }

void TzorSChannelConnectionInfo::SetProtocol(uint32_t bit) {
  switch (bit) {
    case SP_PROT_TLS1_0_CLIENT: Protocol = tls1_0; break;
    case SP_PROT_TLS1_1_CLIENT: Protocol = tls1_1; break;
    case SP_PROT_TLS1_2_CLIENT: Protocol = tls1_2; break;
    case SP_PROT_TLS1_3_CLIENT: Protocol = tls1_3; break;
    default: Protocol = tlsUndefined; break;
  }
}
void TzorSChannelConnectionInfo::SetCipher(uint32_t id) {
  CipherId = id;
  Cipher = AlgorithmName(id);
}
void TzorSChannelConnectionInfo::SetHash(uint32_t id) {
  HashId = id;
  Hash = AlgorithmName(id);
}
void TzorSChannelConnectionInfo::SetExchange(uint32_t id) {
  ExchangeId = id;
  Exchange = AlgorithmName(id);
}

// The connection's state record.
struct TzorSChannelEngine::State {
  enum class Phase { kStart, kHandshake, kDone, kFailed };

  TzorSChannelSocket& socket;
  std::string server_name;
  TzorSChannelSettings settings;
  Phase phase = Phase::kStart;
  std::shared_ptr<Credentials> credentials;
  std::unique_ptr<Context> context;
  StreamSizes sizes;
  std::vector<char> receive;  // bytes from the socket not yet processed
  size_t received = 0;
  std::string decrypted;
  size_t decrypted_at = 0;
  std::vector<char> send;
  uint32_t last_status = SEC_E_OK;
  bool renegotiating = false;
  bool skip_first_read = false;
  bool selection_failed = false;
  std::unique_ptr<TzorSChannelConnectionInfo> info;
  std::function<void()>* on_credentials = nullptr;

  State(TzorSChannelSocket& s, std::string name, TzorSChannelSettings values)
      : socket(s), server_name(std::move(name)), settings(std::move(values)) {}

  bool WouldBlock() const { return socket.LastError() == EWOULDBLOCK || socket.LastError() == EAGAIN; }

  // Sends a block in full; the failing send's result otherwise.
  int SendAll(const char* data, size_t size) {
    while (size > 0) {
      const int n = socket.Send(data, static_cast<int>(std::min<size_t>(size, 1 << 30)));
      if (n <= 0) {
        SetError(Format("send returns %d", socket.LastError()));
        return n;
      }
      data += n;
      size -= static_cast<size_t>(n);
    }
    return 1;
  }

  uint32_t Acquire(std::shared_ptr<const TzorCertContext> certificate, std::shared_ptr<Credentials>& out) {
    SchannelCred cred;
    cred.EnabledProtocols = ProtocolBits(settings.TLSVersion);
    cred.SupportedAlgs = AlgorithmIds(settings.CipherList);
    cred.Certificate = std::move(certificate);
    cred.TrustedRoots = TrustedRoots();
    cred.TrustFile = settings.RootCertFile;
    return AcquireCredentialsHandle(cred, out);
  }

  bool Fail(const std::string& text, uint32_t code = 0) {
    SetError(text, code);
    return false;
  }

  // Steps 1-6 of the client connect: credentials, the first handshake
  // message sent.
  bool Start() {
    SetError("");
    uint32_t status = Acquire(nullptr, credentials);
    if (status != SEC_E_OK) return Fail(Format("AcquireCredentialsHandle returns %08X", status), status);
    std::vector<std::string> alpn;
    for (const auto& name : settings.ALPNProtocols)
      if (!name.empty() && name.size() <= 255) alpn.push_back(name);
    std::string token;
    status = InitializeSecurityContext(credentials, context, server_name, &alpn, nullptr, token);
    if (status != SEC_I_CONTINUE_NEEDED)
      return Fail(Format("First call to InitializeSecurityContext returns %08X", status), status);
    SetIncompleteCredentialsHandler(*context, [this](std::shared_ptr<Credentials>& replacement) {
      return SelectClientCertificate(replacement);
    });
    if (SendAll(token.data(), token.size()) <= 0) return false;
    receive.assign(kHandshakeBuffer, 0);
    received = 0;
    last_status = SEC_I_CONTINUE_NEEDED;
    return true;
  }

  // 1 done, 0 failed, kWouldBlock.
  int HandshakeLoop() {
    for (;;) {
      if ((received == 0 || last_status == SEC_E_INCOMPLETE_MESSAGE) && !skip_first_read) {
        if (received == receive.size())
          return Fail(Format("InitializeSecurityContext returns %08X", SEC_E_INCOMPLETE_MESSAGE), SEC_E_INCOMPLETE_MESSAGE);
        const int n = socket.Recv(receive.data() + received, static_cast<int>(receive.size() - received));
        if (n < 0 && WouldBlock()) return kWouldBlock;
        if (n <= 0) return Fail(Format("recv returns %08X", static_cast<uint32_t>(socket.LastError())));
        received += static_cast<size_t>(n);
      }
      skip_first_read = false;
      SecBuffer input[2] = {{SECBUFFER_TOKEN, receive.data(), received}, {}};
      std::string token;
      const uint32_t status = InitializeSecurityContext(credentials, context, server_name, nullptr, input, token);
      last_status = status;
      if (!token.empty() && SendAll(token.data(), token.size()) <= 0) return 0;
      if (input[1].BufferType == SECBUFFER_EXTRA && input[1].cbBuffer > 0) {
        std::memmove(receive.data(), receive.data() + received - input[1].cbBuffer, input[1].cbBuffer);
        received = input[1].cbBuffer;
      } else if (status != SEC_E_INCOMPLETE_MESSAGE) {
        received = 0;
      }
      if (status == SEC_E_OK) return 1;
      if (status == SEC_E_INCOMPLETE_MESSAGE || status == SEC_I_CONTINUE_NEEDED) continue;
      // A failed choice of client certificate has said why already.
      if (!selection_failed) Fail(Format("InitializeSecurityContext returns %08X", status), status);
      return 0;
    }
  }

  // Asked by the context when the server wants a client certificate.
  uint32_t SelectClientCertificate(std::shared_ptr<Credentials>& replacement) {
    const TzorClientCertificateChoice choice = ChooseClientCertificate(settings.Certificate, [this] {
      if (on_credentials && *on_credentials) (*on_credentials)();
      std::vector<std::string> issuers;
      QueryIssuerList(*context, issuers);
      return issuers;
    });
    if (!choice.Failure.empty()) return SelectionFailed(choice.Failure);
    if (!choice.Certificate) {
      SetError("CertFindChainInStore returns nil");  // the server decides
      return SEC_E_OK;
    }
    const uint32_t status = Acquire(choice.Certificate, replacement);
    if (status != SEC_E_OK) return SelectionFailed(Format("AcquireCredentialsHandle returns %08X", status), status);
    return SEC_E_OK;
  }

  uint32_t SelectionFailed(const std::string& text, uint32_t status = SEC_E_NO_CREDENTIALS) {
    selection_failed = true;
    SetError(text, status);
    return status;
  }

  bool VerifyServer() {
    uint32_t policy = 0;
    const uint32_t status = VerifyServerCertificate(*context, server_name, policy);
    if (status != SEC_E_OK) return Fail(Format("QueryCredentialsAttributes returns %08X", status), status);
    last_cert_status = policy;
    if (policy != 0) return Fail(Format("CertVerifyCertificateChainPolicy.vStatus = %08X", policy), policy);
    return true;
  }

  // Steps 8-9 of the client connect.
  bool Finish() {
    if (settings.Certificate.VerifyCertificate() && !VerifyServer()) return false;
    const uint32_t status = QueryStreamSizes(*context, sizes);
    if (status != SEC_E_OK)
      return Fail(Format("QueryContextAttributes(SECPKG_ATTR_STREAM_SIZES) returns %08X", status), status);
    const size_t record = sizes.cbHeader + sizes.cbMaximumMessage + sizes.cbTrailer;
    receive.resize(std::max({record, kLargestRecord, received}));
    send.assign(record, 0);
    decrypted.clear();
    decrypted_at = 0;
    return true;
  }

  // Runs (or goes on with) a renegotiation: 1 done, 0 failed, kWouldBlock.
  int Renegotiate() {
    const int r = HandshakeLoop();
    if (r == kWouldBlock) return r;
    renegotiating = false;
    return r;
  }
};

TzorSChannelEngine::TzorSChannelEngine(TzorSChannelSocket& socket, std::string server_name,
                                       TzorSChannelSettings settings)
    : s_(std::make_unique<State>(socket, std::move(server_name), std::move(settings))) {
  s_->on_credentials = &OnCredentials;
}

TzorSChannelEngine::~TzorSChannelEngine() = default;

int TzorSChannelEngine::Connect() {
  State& s = *s_;
  if (s.phase == State::Phase::kDone) return 1;
  if (s.phase == State::Phase::kFailed) return -1;
  if (s.phase == State::Phase::kStart) {
    if (!s.Start()) {
      s.phase = State::Phase::kFailed;
      return -1;
    }
    s.phase = State::Phase::kHandshake;
  }
  const int r = s.HandshakeLoop();
  if (r == kWouldBlock) return 0;
  if (r != 1 || !s.Finish()) {
    s.phase = State::Phase::kFailed;
    return -1;
  }
  s.phase = State::Phase::kDone;
  return 1;
}

int TzorSChannelEngine::Pending(int wait_ms) {
  State& s = *s_;
  if (s.phase != State::Phase::kDone) return -1;
  if (s.decrypted_at < s.decrypted.size()) return static_cast<int>(s.decrypted.size() - s.decrypted_at);
  if (s.renegotiating) {
    const int r = s.Renegotiate();
    if (r != 1) return r == kWouldBlock ? r : -1;
  }
  if (s.received == 0 && wait_ms >= 1) {
    const int ready = s.socket.Select(wait_ms);
    if (ready == 0) return 0;
    if (ready < 0) {
      SetError(Format("select returns %d", s.socket.LastError()));
      return -1;
    }
  }
  s.decrypted.clear();
  s.decrypted_at = 0;
  for (;;) {
    SecBuffer buffers[4];
    uint32_t status;
    do {
      if (s.received == 0 || s.last_status == SEC_E_INCOMPLETE_MESSAGE) {
        const int n = s.socket.Recv(s.receive.data() + s.received, static_cast<int>(s.receive.size() - s.received));
        if (n < 0 && s.WouldBlock()) return kWouldBlock;
        if (n == 0) return 0;  // closed without a close notification
        if (n < 0) {
          SetError(Format("recv returns %08X", static_cast<uint32_t>(s.socket.LastError())));
          return -1;
        }
        s.received += static_cast<size_t>(n);
      }
      buffers[0] = {SECBUFFER_DATA, s.receive.data(), s.received};
      buffers[1] = buffers[2] = buffers[3] = {};
      status = DecryptMessage(*s.context, buffers);
      s.last_status = status;
    } while (status == SEC_E_INCOMPLETE_MESSAGE);
    if (status == SEC_I_CONTEXT_EXPIRED) {
      close_notified_ = true;
      SetError("DecryptMessage returns SEC_I_CONTEXT_EXPIRED", status);
      return -1;
    }
    if (status == SEC_E_DECRYPT_FAILURE) {
      SetError("DecryptMessage returns SEC_E_DECRYPT_FAILURE", status);
      return -1;
    }
    for (const auto& b : buffers)
      if (b.BufferType == SECBUFFER_DATA) s.decrypted.append(b.pvBuffer, b.cbBuffer);
    const SecBuffer* extra = nullptr;
    for (const auto& b : buffers)
      if (b.BufferType == SECBUFFER_EXTRA && b.cbBuffer > 0) extra = &b;
    if (extra) {
      std::memmove(s.receive.data(), extra->pvBuffer, extra->cbBuffer);
      s.received = extra->cbBuffer;
    } else {
      s.received = 0;
    }
    if (status == SEC_I_RENEGOTIATE) {
      // The context speaks first (a new hello, or an answer it owes): the
      // loop starts by handing it what is buffered instead of waiting.
      s.renegotiating = true;
      s.skip_first_read = true;
      const int r = s.Renegotiate();
      if (r == kWouldBlock) return s.decrypted.empty() ? r : static_cast<int>(s.decrypted.size());
      if (r != 1) return -1;
    } else if (status != SEC_E_OK) {
      SetError(Format("DecryptMessage returns %08X", status), status);
      return -1;
    }
    if (!s.decrypted.empty()) return static_cast<int>(s.decrypted.size());
  }
}

int TzorSChannelEngine::Read(char* buffer, int size) {
  const int available = Pending(0);
  if (available <= 0) return available;
  const int n = std::min(available, size);
  std::memcpy(buffer, s_->decrypted.data() + s_->decrypted_at, static_cast<size_t>(n));
  s_->decrypted_at += static_cast<size_t>(n);
  return n;
}

int TzorSChannelEngine::Write(const char* data, int size) {
  State& s = *s_;
  if (s.phase != State::Phase::kDone) return -1;
  for (int done = 0; done < size;) {
    const size_t chunk = std::min(static_cast<size_t>(size - done), s.sizes.cbMaximumMessage);
    char* header = s.send.data();
    std::memcpy(header + s.sizes.cbHeader, data + done, chunk);
    SecBuffer buffers[4] = {{SECBUFFER_STREAM_HEADER, header, s.sizes.cbHeader},
                            {SECBUFFER_DATA, header + s.sizes.cbHeader, chunk},
                            {SECBUFFER_STREAM_TRAILER, header + s.sizes.cbHeader + chunk, s.sizes.cbTrailer},
                            {}};
    const uint32_t status = EncryptMessage(*s.context, buffers);
    if (status != SEC_E_OK) {
      SetError(Format("EncryptMessage returns %08X", status), status);
      return -1;
    }
    const int sent = s.SendAll(header, buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
    if (sent <= 0) return sent;
    done += static_cast<int>(chunk);
  }
  return size;
}

int TzorSChannelEngine::Shutdown() {
  State& s = *s_;
  if (s.phase != State::Phase::kDone) return 0;
  std::string token;
  if (ShutdownContext(*s.context, token) != SEC_E_OK) return -1;
  return s.SendAll(token.data(), token.size());
}

std::string TzorSChannelEngine::NegotiatedALPN() {
  std::string protocol;
  if (s_->phase != State::Phase::kDone) return protocol;
  const uint32_t status = QueryApplicationProtocol(*s_->context, protocol);
  if (status != SEC_E_OK)
    SetError(Format("QueryContextAttributes(SECPKG_ATTR_APPLICATION_PROTOCOL) returns %08X", status), status);
  return protocol;
}

const TzorSChannelConnectionInfo* TzorSChannelEngine::ConnectionInfo() {
  State& s = *s_;
  if (s.phase != State::Phase::kDone) return nullptr;
  if (!s.info) {
    sspi::ConnectionInfo raw;
    if (QueryConnectionInfo(*s.context, raw) != SEC_E_OK) return nullptr;
    auto info = std::make_unique<TzorSChannelConnectionInfo>();
    info->SetProtocol(raw.dwProtocol);
    info->SetCipher(raw.aiCipher);
    info->SetHash(raw.aiHash);
    info->SetExchange(raw.aiExch);
    info->CiperStrength = raw.dwCipherStrength;
    info->HashStrength = raw.dwHashStrength;
    info->ExchangeStrength = raw.dwExchStrength;
    info->CipherSuite = raw.CipherSuite;
    s.info = std::move(info);
  }
  return s.info.get();
}

std::string TzorSChannelEngine::PeerSubject() const {
  std::string subject;
  if (s_->context) QueryRemoteCertificateSubject(*s_->context, subject);
  return subject;
}

}  // namespace zor
