// The client context: handshake steps, record encryption and decryption.
// The session reads from the caller's buffer (one whole record per call)
// and writes into the context's outgoing bytes.
#include <arpa/inet.h>

#include <cerrno>
#include <cstring>

#include "net/sspi_impl.h"

namespace zor::sspi {

namespace {

constexpr size_t kRecordHeader = 5;
// The largest record a peer may send: 2^14 bytes of data and 2048 of expansion.
constexpr size_t kMaxRecordBody = 16384 + 2048;

ssize_t Push(gnutls_transport_ptr_t p, const void* data, size_t size) {
  static_cast<Context::Impl*>(p)->outgoing.append(static_cast<const char*>(data), size);
  return static_cast<ssize_t>(size);
}

ssize_t Pull(gnutls_transport_ptr_t p, void* data, size_t size) {
  auto* c = static_cast<Context::Impl*>(p);
  const size_t n = std::min(size, c->incoming.size() - c->taken);
  if (n == 0) {
    gnutls_transport_set_errno(c->session, EAGAIN);
    return -1;
  }
  std::memcpy(data, c->incoming.data() + c->taken, n);
  c->taken += n;
  return static_cast<ssize_t>(n);
}

// The session waits for nothing: whatever is not in the buffer is "later".
int PullTimeout(gnutls_transport_ptr_t p, unsigned) {
  auto* c = static_cast<Context::Impl*>(p);
  return c->incoming.size() > c->taken ? 1 : 0;
}

bool IsAddress(const std::string& host) {
  unsigned char buffer[16];
  return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

uint32_t NewSession(const std::shared_ptr<Credentials>& cred, const std::string& target,
                    const std::vector<std::string>* alpn, std::unique_ptr<Context>& context) {
  auto impl = std::make_unique<Context::Impl>();
  if (gnutls_init(&impl->session, GNUTLS_CLIENT | GNUTLS_NONBLOCK) < 0) return SEC_E_INTERNAL_ERROR;
  gnutls_session_t s = impl->session;
  impl->credentials = cred;
  impl->target = target;
  if (gnutls_priority_set_direct(s, cred->Details().priority.c_str(), nullptr) < 0 ||
      gnutls_credentials_set(s, GNUTLS_CRD_CERTIFICATE, cred->Details().certificate_credentials) < 0)
    return SEC_E_INTERNAL_ERROR;
  if (!target.empty() && !IsAddress(target))
    gnutls_server_name_set(s, GNUTLS_NAME_DNS, target.data(), target.size());
  if (alpn && !alpn->empty()) {
    std::vector<gnutls_datum_t> names;
    for (const auto& name : *alpn)
      names.push_back({reinterpret_cast<unsigned char*>(const_cast<char*>(name.data())),
                       static_cast<unsigned>(name.size())});
    if (gnutls_alpn_set_protocols(s, names.data(), static_cast<unsigned>(names.size()), 0) < 0)
      return SEC_E_INTERNAL_ERROR;
  }
  gnutls_handshake_set_timeout(s, 0);
  gnutls_session_set_ptr(s, impl.get());
  gnutls_transport_set_ptr(s, impl.get());
  gnutls_transport_set_push_function(s, Push);
  gnutls_transport_set_pull_function(s, Pull);
  gnutls_transport_set_pull_timeout_function(s, PullTimeout);
  context = std::make_unique<Context>(std::move(impl));
  return SEC_E_OK;
}

// Lets the session read the first whole record of `bytes` (and nothing of
// the next), for one call.
void Offer(Context::Impl& c, std::string_view bytes) {
  c.incoming = bytes.substr(0, FirstRecordLength(bytes));
  c.taken = 0;
}

void TakeOutgoing(Context::Impl& c, std::string& out) {
  out.append(c.outgoing);
  c.outgoing.clear();
}

}  // namespace

Context::Context(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Context::~Context() = default;

size_t FirstRecordLength(std::string_view bytes) {
  if (bytes.size() < kRecordHeader) return 0;
  const size_t body = (static_cast<uint8_t>(bytes[3]) << 8) | static_cast<uint8_t>(bytes[4]);
  if (body > kMaxRecordBody) return kRecordHeader;
  return bytes.size() >= kRecordHeader + body ? kRecordHeader + body : 0;
}

uint32_t StatusOf(int error) {
  switch (error) {
    case GNUTLS_E_DECRYPTION_FAILED: return SEC_E_DECRYPT_FAILURE;
    case GNUTLS_E_NO_CIPHER_SUITES:
    case GNUTLS_E_UNSUPPORTED_VERSION_PACKET:
    case GNUTLS_E_INSUFFICIENT_SECURITY:
    case GNUTLS_E_NO_COMMON_KEY_SHARE: return SEC_E_ALGORITHM_MISMATCH;
    case GNUTLS_E_CERTIFICATE_ERROR:
    case GNUTLS_E_CERTIFICATE_VERIFICATION_ERROR: return SEC_E_CERT_UNKNOWN;
    case GNUTLS_E_MEMORY_ERROR:
    case GNUTLS_E_INTERNAL_ERROR: return SEC_E_INTERNAL_ERROR;
    default: return SEC_E_ILLEGAL_MESSAGE;
  }
}

uint32_t InitializeSecurityContext(const std::shared_ptr<Credentials>& cred, std::unique_ptr<Context>& context,
                                   const std::string& target, const std::vector<std::string>* alpn,
                                   SecBuffer* input, std::string& output_token) {
  output_token.clear();
  if (!context) {
    if (!cred) return SEC_E_NO_CREDENTIALS;
    if (const uint32_t status = NewSession(cred, target, alpn, context)) return status;
  }
  Context::Impl& c = context->Details();
  std::string_view bytes;
  if (input) bytes = std::string_view(input[0].pvBuffer, input[0].cbBuffer);
  Offer(c, bytes);
  auto hand_back_extra = [&] {
    if (input && c.taken < bytes.size()) {
      input[1].BufferType = SECBUFFER_EXTRA;
      input[1].cbBuffer = bytes.size() - c.taken;
    }
  };
  if (c.established && !c.renegotiating) {
    // Nothing to negotiate: only what decryption left to send goes out.
    TakeOutgoing(c, output_token);
    c.taken = 0;
    hand_back_extra();
    return SEC_E_OK;
  }
  if (!bytes.empty() && c.incoming.empty()) return SEC_E_INCOMPLETE_MESSAGE;
  // Data the server sends in the middle of a renegotiation is not taken:
  // the handshake fails (GNUTLS_E_GOT_APPLICATION_DATA is not retried).
  int r;
  do {
    r = gnutls_handshake(c.session);
  } while (r == GNUTLS_E_WARNING_ALERT_RECEIVED);
  TakeOutgoing(c, output_token);
  hand_back_extra();
  if (r == 0) {
    c.established = true;
    c.renegotiating = false;
    return SEC_E_OK;
  }
  if (r == GNUTLS_E_AGAIN || r == GNUTLS_E_INTERRUPTED) {
    // A whole record offered and none of it taken would be offered again
    // and again.
    return c.taken == 0 && !c.incoming.empty() ? SEC_E_ILLEGAL_MESSAGE : SEC_I_CONTINUE_NEEDED;
  }
  if (c.credentials_failure != SEC_E_OK) return c.credentials_failure;
  return StatusOf(r);
}

void SetIncompleteCredentialsHandler(Context& context, IncompleteCredentialsHandler handler) {
  context.Details().on_incomplete_credentials = std::move(handler);
}

uint32_t QueryStreamSizes(const Context& context, StreamSizes& sizes) {
  const Context::Impl& c = context.Details();
  if (!c.established) return SEC_E_INVALID_HANDLE;
  sizes.cbHeader = kRecordHeader;
  const size_t overhead = gnutls_record_overhead_size(c.session);
  sizes.cbTrailer = overhead > kRecordHeader ? overhead - kRecordHeader : 0;
  sizes.cbMaximumMessage = gnutls_record_get_max_size(c.session);
  return SEC_E_OK;
}

uint32_t EncryptMessage(Context& context, SecBuffer* buffers) {
  Context::Impl& c = context.Details();
  if (!c.established) return SEC_E_INVALID_HANDLE;
  SecBuffer& header = buffers[0];
  SecBuffer& data = buffers[1];
  SecBuffer& trailer = buffers[2];
  std::string record;
  const ssize_t sent = gnutls_record_send(c.session, data.pvBuffer, data.cbBuffer);
  if (sent < 0 || static_cast<size_t>(sent) != data.cbBuffer) return sent < 0 ? StatusOf(static_cast<int>(sent)) : SEC_E_BUFFER_TOO_SMALL;
  TakeOutgoing(c, record);
  if (record.size() < header.cbBuffer + data.cbBuffer ||
      record.size() > header.cbBuffer + data.cbBuffer + trailer.cbBuffer)
    return SEC_E_BUFFER_TOO_SMALL;
  std::memcpy(header.pvBuffer, record.data(), header.cbBuffer);
  std::memcpy(data.pvBuffer, record.data() + header.cbBuffer, data.cbBuffer);
  trailer.cbBuffer = record.size() - header.cbBuffer - data.cbBuffer;
  std::memcpy(trailer.pvBuffer, record.data() + header.cbBuffer + data.cbBuffer, trailer.cbBuffer);
  return SEC_E_OK;
}

uint32_t DecryptMessage(Context& context, SecBuffer* buffers) {
  Context::Impl& c = context.Details();
  if (!c.established) return SEC_E_INVALID_HANDLE;
  char* start = buffers[0].pvBuffer;
  const std::string_view bytes(start, buffers[0].cbBuffer);
  Offer(c, bytes);
  if (c.incoming.empty()) {
    buffers[0].BufferType = SECBUFFER_MISSING;
    return SEC_E_INCOMPLETE_MESSAGE;
  }
  // The plaintext is never longer than the record it came in, so it is
  // written over the record, behind its header.
  std::string plain;
  ssize_t r;
  bool closed = false;
  do {
    char chunk[16384];
    r = gnutls_record_recv(c.session, chunk, sizeof chunk);
    if (r > 0) plain.append(chunk, static_cast<size_t>(r));
    closed = r == 0;
  } while (r > 0 && gnutls_record_check_pending(c.session) > 0);
  if (r == GNUTLS_E_AGAIN || r == GNUTLS_E_INTERRUPTED) r = c.taken == 0 ? GNUTLS_E_UNEXPECTED_PACKET : 0;
  const size_t record = c.taken;
  buffers[0] = {SECBUFFER_STREAM_HEADER, start, kRecordHeader};
  buffers[1] = {SECBUFFER_DATA, start + kRecordHeader, 0};
  buffers[2] = {SECBUFFER_STREAM_TRAILER, start + kRecordHeader, record - kRecordHeader};
  buffers[3] = {};
  if (record < bytes.size()) buffers[3] = {SECBUFFER_EXTRA, start + record, bytes.size() - record};
  if (closed) return SEC_I_CONTEXT_EXPIRED;  // close notification
  if (r == GNUTLS_E_REHANDSHAKE) {
    c.renegotiating = true;
    return SEC_I_RENEGOTIATE;
  }
  if (r < 0) return StatusOf(static_cast<int>(r));
  std::memcpy(start + kRecordHeader, plain.data(), plain.size());
  buffers[1].cbBuffer = plain.size();
  buffers[2] = {SECBUFFER_STREAM_TRAILER, start + kRecordHeader + plain.size(), record - kRecordHeader - plain.size()};
  // A post-handshake message may need an answer (a key update): the caller
  // gets it from the next handshake step.
  return c.outgoing.empty() ? SEC_E_OK : SEC_I_RENEGOTIATE;
}

uint32_t ShutdownContext(Context& context, std::string& output_token) {
  Context::Impl& c = context.Details();
  if (!c.established) return SEC_E_INVALID_HANDLE;
  const int r = gnutls_bye(c.session, GNUTLS_SHUT_WR);
  TakeOutgoing(c, output_token);
  return r == 0 || r == GNUTLS_E_AGAIN ? SEC_E_OK : StatusOf(r);
}

}  // namespace zor::sspi
