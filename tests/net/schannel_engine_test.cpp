// The platform engine against an in-memory server (the OpenSSL engine)
// behind a socket stand-in that chooses how bytes are cut: whole server
// flights in one segment, sends that take only a few bytes at a time,
// close notifications and plain closes.
#include <gtest/gtest.h>

#include <cerrno>

#include "net/openssl_engine.h"
#include "net/schannel_engine.h"
#include "net/schannel_error.h"
#include "net/schannel_tls_context.h"
#include "test_pki.h"
#include "test_stores.h"

namespace zor {
namespace {

const test::TestPKI& PKI() {
  static const test::TestPKI pki;
  return pki;
}

std::shared_ptr<const TzorTLSContext> ServerContext(TwsTLSVersions version, bool ask_for_certificate = false) {
  TzorTLSSettings s;
  s.Side = TzorTLSSide::tlsServer;
  s.Version = version;
  s.CertFile = PKI().ServerCertFile();
  s.KeyFile = PKI().ServerKeyFile();
  s.VerifyCertificate = ask_for_certificate;
  s.RootCertFile = PKI().CAFile();
  return NewOpenSSLContext(s);
}

// The socket as the engine sees it, with a TLS server behind it. Each recv
// hands over everything the server has said so far (its whole flight in one
// segment); recv with nothing to hand over "would block", which a blocking
// socket would turn into a hang. Sends take at most `send_limit` bytes.
class StandIn : public TzorSChannelSocket {
 public:
  explicit StandIn(std::shared_ptr<const TzorTLSContext> server) : context_(std::move(server)), server(context_->NewEngine({})) {}

  int Send(const char* data, int size) override {
    const int n = send_limit > 0 ? std::min(size, send_limit) : size;
    if (n < size) ++short_sends;
    server->PutIncoming(std::string_view(data, static_cast<size_t>(n)));
    return n;
  }
  int Recv(char* buffer, int size) override {
    ++recv_calls;
    Pump();
    if (to_client_.empty()) {
      if (closed) return 0;
      ++would_block;
      error_ = EWOULDBLOCK;
      return -1;
    }
    const size_t n = std::min(to_client_.size(), static_cast<size_t>(size));
    to_client_.copy(buffer, n);
    to_client_.erase(0, n);
    return static_cast<int>(n);
  }
  int Select(int) override {
    Pump();
    return to_client_.empty() && !closed ? 0 : 1;
  }
  int LastError() const override { return error_; }

  // Lets the server take in what it was sent and answer.
  void Pump() {
    try {
      if (server->Handshake()) server->Read(received, 1 << 20);
    } catch (const EzorTLSError&) {
      server_failed = true;
    }
    server->TakeOutgoing(to_client_);
  }

  std::shared_ptr<const TzorTLSContext> context_;
  std::unique_ptr<TzorTLSEngine> server;
  std::string received;  // plaintext the server got
  int send_limit = 0;
  int short_sends = 0;
  int recv_calls = 0;
  int would_block = 0;
  bool closed = false;
  bool server_failed = false;

 private:
  std::string to_client_;
  int error_ = 0;
};

TzorSChannelSettings Verifying(TwsTLSVersions version) {
  TzorSChannelSettings s;
  s.TLSVersion = version;
  s.Certificate.SetVerifyCertificate(true);
  s.RootCertFile = PKI().CAFile();
  return s;
}

TEST(SChannelEngine, WholeServerFlightInOneSegmentIsWorkedThroughWithoutWaiting) {
  for (const auto& [version, server_flights] : {std::pair{tls1_3, 1}, std::pair{tls1_2, 2}}) {
    StandIn socket(ServerContext(version));
    TzorSChannelEngine engine(socket, "localhost", Verifying(version));
    ASSERT_EQ(engine.Connect(), 1) << SChannelLastErrorText();
    // One recv per server flight: the records behind the first came back as
    // extra bytes and were used at once.
    EXPECT_EQ(socket.recv_calls, server_flights);
    EXPECT_EQ(socket.would_block, 0);
    ASSERT_NE(engine.ConnectionInfo(), nullptr);
    EXPECT_EQ(engine.ConnectionInfo()->Protocol, version);
    EXPECT_EQ(engine.ConnectionInfo()->ExchangeId != 0, true);
  }
}

TEST(SChannelEngine, ShortSendsStillDeliverEveryByteInOrder) {
  StandIn socket(ServerContext(tls1_3));
  socket.send_limit = 7;
  TzorSChannelEngine engine(socket, "localhost", Verifying(tls1_3));
  ASSERT_EQ(engine.Connect(), 1) << SChannelLastErrorText();
  std::string data(100000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 31 + i / 251);
  EXPECT_EQ(engine.Write(data.data(), static_cast<int>(data.size())), static_cast<int>(data.size()));
  socket.Pump();
  EXPECT_FALSE(socket.server_failed);
  EXPECT_EQ(socket.received, data);
  EXPECT_GT(socket.short_sends, 3);
}

TEST(SChannelEngine, ReadsSeparateCloseNotificationFromPlainClose) {
  {
    StandIn socket(ServerContext(tls1_3));
    TzorSChannelEngine engine(socket, "localhost", Verifying(tls1_3));
    ASSERT_EQ(engine.Connect(), 1);
    socket.Pump();  // the server takes the client's last flight
    socket.server->Write("hello");
    socket.server->Shutdown();
    char buffer[16];
    ASSERT_EQ(engine.Read(buffer, 3), 3);
    EXPECT_EQ(std::string(buffer, 3), "hel");
    ASSERT_EQ(engine.Read(buffer, 16), 2);  // the rest, from what was decrypted before
    EXPECT_EQ(engine.Read(buffer, 16), -1);
    EXPECT_TRUE(engine.CloseNotified());
    EXPECT_EQ(SChannelLastErrorText(), "DecryptMessage returns SEC_I_CONTEXT_EXPIRED");
  }
  {
    StandIn socket(ServerContext(tls1_2));
    TzorSChannelEngine engine(socket, "localhost", Verifying(tls1_2));
    ASSERT_EQ(engine.Connect(), 1);
    EXPECT_EQ(engine.Pending(50), 0);  // nothing came within the wait
    socket.closed = true;
    char buffer[16];
    EXPECT_EQ(engine.Read(buffer, 16), 0);
    EXPECT_FALSE(engine.CloseNotified());
  }
}

TEST(SChannelEngine, ThumbprintOfThirtyNineDigitsFailsTheHandshake) {
  test::TestStores stores(PKI());
  stores.Put(scsnMY, scspStoreCurrentUser, "client.pem", {PKI().ClientCertFile(), PKI().ClientKeyFile()});
  auto settings = Verifying(tls1_3);
  settings.Certificate.SetCertHash(test::TestStores::Thumbprint(PKI().ClientCertFile()).substr(0, 39));
  // Through the buffer-based context, as a connection uses it.
  auto server = ServerContext(tls1_3, true)->NewEngine({});
  auto client = NewSChannelContext(settings)->NewEngine("localhost");
  try {
    for (int round = 0; round < 10; ++round) {
      client->Handshake();
      std::string bytes;
      client->TakeOutgoing(bytes);
      server->PutIncoming(bytes);
      server->Handshake();
      bytes.clear();
      server->TakeOutgoing(bytes);
      client->PutIncoming(bytes);
    }
    FAIL() << "the handshake did not fail";
  } catch (const SChannelError& e) {
    EXPECT_STREQ(e.what(), "SChannel initialization error: Invalid Certificate Hash Length, must be 40.");
    EXPECT_EQ(e.CertStatus(), 0u);
  }
}

TEST(SChannelEngine, CertificateFromTheIssuerListAfterTheCredentialsEvent) {
  test::TestStores stores(PKI());
  stores.Put(scsnMY, scspStoreCurrentUser, "a-server.pem", {PKI().ServerCertFile()});  // no key: not a candidate
  stores.Put(scsnMY, scspStoreCurrentUser, "client.pem", {PKI().ClientCertFile(), PKI().ClientKeyFile()});
  for (const auto version : {tls1_2, tls1_3}) {
    StandIn socket(ServerContext(version, true));
    TzorSChannelEngine engine(socket, "localhost", Verifying(version));
    int raised = 0;
    engine.OnCredentials = [&] { ++raised; };
    ASSERT_EQ(engine.Connect(), 1) << SChannelLastErrorText();
    socket.Pump();
    EXPECT_EQ(raised, 1);
    EXPECT_NE(socket.server->Info().PeerSubject.find("zor test client"), std::string::npos)
        << socket.server->Info().PeerSubject;
  }
}

TEST(SChannelEngine, WrongVersionAndUnknownAlgorithmsAreRefused) {
  StandIn socket(ServerContext(tls1_3));
  TzorSChannelEngine engine(socket, "localhost", Verifying(tls1_2));
  EXPECT_EQ(engine.Connect(), -1);
  EXPECT_EQ(SChannelLastErrorText().rfind("InitializeSecurityContext returns 8009", 0), 0u) << SChannelLastErrorText();

  // Names without meaning are skipped; AES-128 with SHA-256 leaves one family.
  StandIn aes(ServerContext(tls1_2));
  auto settings = Verifying(tls1_2);
  settings.CipherList = "CALG_AES_128:CALG_SHA_256:CALG_MD2:nonsense";
  TzorSChannelEngine limited(aes, "localhost", settings);
  ASSERT_EQ(limited.Connect(), 1) << SChannelLastErrorText();
  EXPECT_EQ(limited.ConnectionInfo()->Cipher, "CALG_AES_128");
  EXPECT_EQ(limited.ConnectionInfo()->CiperStrength, 128u);
  EXPECT_EQ(limited.ConnectionInfo()->Hash, "CALG_SHA_256");
}

}  // namespace
}  // namespace zor
