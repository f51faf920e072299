#pragma once
// A small security-provider interface in the shape the platform TLS engine
// is written against: credentials, a client context stepped through its
// handshake with input and output token buffers (unprocessed input comes
// back as "extra" bytes), record encryption and decryption on the caller's
// buffers, and attribute queries. GnuTLS works underneath; nothing here
// touches a socket. Input is taken one whole TLS record per call, so bytes
// behind it are always handed back as extra.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/cert_store.h"

namespace zor::sspi {

// Status codes, with the values the engine's error texts show.
constexpr uint32_t SEC_E_OK = 0;
constexpr uint32_t SEC_I_CONTINUE_NEEDED = 0x00090312;
constexpr uint32_t SEC_I_CONTEXT_EXPIRED = 0x00090317;
constexpr uint32_t SEC_I_INCOMPLETE_CREDENTIALS = 0x00090320;
constexpr uint32_t SEC_I_RENEGOTIATE = 0x00090321;
constexpr uint32_t SEC_E_INVALID_HANDLE = 0x80090301;
constexpr uint32_t SEC_E_INTERNAL_ERROR = 0x80090304;
constexpr uint32_t SEC_E_NO_CREDENTIALS = 0x8009030E;
constexpr uint32_t SEC_E_INCOMPLETE_MESSAGE = 0x80090318;
constexpr uint32_t SEC_E_BUFFER_TOO_SMALL = 0x80090321;
constexpr uint32_t SEC_E_WRONG_PRINCIPAL = 0x80090322;
constexpr uint32_t SEC_E_ILLEGAL_MESSAGE = 0x80090326;
constexpr uint32_t SEC_E_CERT_UNKNOWN = 0x80090327;
constexpr uint32_t SEC_E_DECRYPT_FAILURE = 0x80090330;
constexpr uint32_t SEC_E_ALGORITHM_MISMATCH = 0x80090331;
constexpr uint32_t SEC_E_UNSUPPORTED_FUNCTION = 0x80090302;

// Chain policy results of VerifyServerCertificate.
constexpr uint32_t CERT_E_EXPIRED = 0x800B0101;
constexpr uint32_t CERT_E_UNTRUSTEDROOT = 0x800B0109;
constexpr uint32_t CERT_E_CHAINING = 0x800B010A;
constexpr uint32_t CERT_E_REVOKED = 0x800B010C;
constexpr uint32_t CERT_E_CN_NO_MATCH = 0x800B010F;
constexpr uint32_t CERT_E_WRONG_USAGE = 0x800B0110;
constexpr uint32_t TRUST_E_CERT_SIGNATURE = 0x80096004;

// Protocol bits (client side).
constexpr uint32_t SP_PROT_TLS1_0_CLIENT = 0x80;
constexpr uint32_t SP_PROT_TLS1_1_CLIENT = 0x200;
constexpr uint32_t SP_PROT_TLS1_2_CLIENT = 0x800;
constexpr uint32_t SP_PROT_TLS1_3_CLIENT = 0x2000;

enum SecBufferType : uint32_t {
  SECBUFFER_EMPTY = 0,
  SECBUFFER_DATA = 1,
  SECBUFFER_TOKEN = 2,
  SECBUFFER_MISSING = 4,
  SECBUFFER_EXTRA = 5,
  SECBUFFER_STREAM_TRAILER = 6,
  SECBUFFER_STREAM_HEADER = 7,
};

// One input or output buffer of a security-context call.
struct SecBuffer {
  uint32_t BufferType = SECBUFFER_EMPTY;
  char* pvBuffer = nullptr;
  size_t cbBuffer = 0;
};

// What credentials are acquired with.
struct SchannelCred {
  uint32_t EnabledProtocols = 0;        // SP_PROT_* bits; 0: TLS 1.0 to 1.3
  std::vector<uint32_t> SupportedAlgs;  // algorithm identifiers; empty: the library's defaults
  std::shared_ptr<const TzorCertContext> Certificate;  // the client certificate, or none
  TzorCertList TrustedRoots;            // trusted besides the system's roots
  std::string TrustFile;                // PEM file of further trusted roots
};

// The credentials a security context is made with.
class Credentials {
 public:
  struct Impl;
  explicit Credentials(std::unique_ptr<Impl> impl);
  ~Credentials();
  Impl& Details() { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

// A security context: one TLS client session of the platform provider.
class Context {
 public:
  struct Impl;
  explicit Context(std::unique_ptr<Impl> impl);
  ~Context();
  Impl& Details() { return *impl_; }
  const Impl& Details() const { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

// Asked when the server wants a client certificate and the credentials hold
// none (the moment the status SEC_I_INCOMPLETE_CREDENTIALS stands for): the
// handler acquires new credentials into `replacement` and answers SEC_E_OK
// (the handshake goes on with them, with or without a certificate), or a
// failure that ends the handshake.
using IncompleteCredentialsHandler = std::function<uint32_t(std::shared_ptr<Credentials>& replacement)>;

uint32_t AcquireCredentialsHandle(const SchannelCred& cred, std::shared_ptr<Credentials>& out);

// First call: `context` empty, `input` null; creates the context for the
// target (server name, sent unless it is an address) offering `alpn`.
// Later calls: input[0] the received bytes (SECBUFFER_TOKEN), input[1]
// empty; input[1] comes back as SECBUFFER_EXTRA with the count of bytes not
// processed. `output_token` receives what must be sent to the server, also
// with a failure status (the alert).
uint32_t InitializeSecurityContext(const std::shared_ptr<Credentials>& cred, std::unique_ptr<Context>& context,
                                   const std::string& target, const std::vector<std::string>* alpn,
                                   SecBuffer* input, std::string& output_token);
void SetIncompleteCredentialsHandler(Context& context, IncompleteCredentialsHandler handler);

// The record header, trailer and message sizes of a security context.
struct StreamSizes {
  size_t cbHeader = 0;
  size_t cbTrailer = 0;
  size_t cbMaximumMessage = 0;
};
uint32_t QueryStreamSizes(const Context& context, StreamSizes& sizes);

// buffers[0] header, [1] data (encrypted in place), [2] trailer (its count
// becomes the bytes used), [3] empty.
uint32_t EncryptMessage(Context& context, SecBuffer* buffers);
// buffers[0] the received bytes (SECBUFFER_DATA), [1..3] empty. Decrypts the
// first record in place: the buffers come back as header, data, trailer and,
// when bytes follow the record, extra.
uint32_t DecryptMessage(Context& context, SecBuffer* buffers);

// The close notification to send (ApplyControlToken with a shutdown token,
// then one more step).
uint32_t ShutdownContext(Context& context, std::string& output_token);

// The protocol and algorithms of an established security context.
struct ConnectionInfo {
  uint32_t dwProtocol = 0;  // SP_PROT_* bit
  uint32_t aiCipher = 0;
  uint32_t dwCipherStrength = 0;
  uint32_t aiHash = 0;
  uint32_t dwHashStrength = 0;
  uint32_t aiExch = 0;
  uint32_t dwExchStrength = 0;
  std::string CipherSuite;  // the suite's name
};
uint32_t QueryConnectionInfo(const Context& context, ConnectionInfo& info);
// Empty when none was agreed.
uint32_t QueryApplicationProtocol(const Context& context, std::string& protocol);
// The issuer names (DER) of the server's certificate request.
uint32_t QueryIssuerList(const Context& context, std::vector<std::string>& issuers);
// Subject of the server's certificate (empty without one).
uint32_t QueryRemoteCertificateSubject(const Context& context, std::string& subject);
// Chain and name check of the server's certificate against the system's roots
// and the credentials' own; `policy_status` is 0 when it passes.
uint32_t VerifyServerCertificate(const Context& context, const std::string& server_name, uint32_t& policy_status);

}  // namespace zor::sspi
