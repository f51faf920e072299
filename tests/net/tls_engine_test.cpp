// The OpenSSL engine, client against server, entirely in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "net/net_errors.h"
#include "net/openssl_engine.h"
#include "test_pki.h"

namespace zor {
namespace {

const test::TestPKI& PKI() {
  static const test::TestPKI pki;
  return pki;
}

TzorTLSSettings ServerSettings() { return PKI().ServerSettings(); }

TzorTLSSettings ClientSettings() {
  TzorTLSSettings s;
  s.RootCertFile = PKI().CAFile();
  s.VerifyCertificate = true;
  return s;
}

// Moves bytes between the two engines until both handshakes are done or one fails.
struct Pair {
  Pair(const TzorTLSSettings& client_settings, const TzorTLSSettings& server_settings,
       const std::string& host = "localhost")
      : client_context(NewOpenSSLContext(client_settings)),
        server_context(NewOpenSSLContext(server_settings)),
        client(client_context->NewEngine(host)),
        server(server_context->NewEngine({})) {}

  void Pump() {
    std::string bytes;
    client->TakeOutgoing(bytes);
    if (!bytes.empty()) server->PutIncoming(bytes);
    bytes.clear();
    server->TakeOutgoing(bytes);
    if (!bytes.empty()) client->PutIncoming(bytes);
  }

  void Handshake() {
    for (int round = 0; round < 10; ++round) {
      const bool c = client->Handshake();
      Pump();
      const bool s = server->Handshake();
      Pump();
      if (c && s) return;
    }
    FAIL() << "handshake did not finish";
  }

  std::string ServerReads(size_t count) {
    std::string out;
    for (int round = 0; round < 100 && out.size() < count; ++round) {
      Pump();
      server->Read(out, count - out.size());
    }
    return out;
  }

  std::shared_ptr<const TzorTLSContext> client_context, server_context;
  std::unique_ptr<TzorTLSEngine> client, server;
};

TEST(OpenSSLEngine, ExchangesDataBothWaysAndCloses) {
  Pair p(ClientSettings(), ServerSettings());
  p.Handshake();
  EXPECT_EQ(p.client->Info().Version, "TLSv1.3");
  EXPECT_EQ(p.server->Info().ServerName, "localhost");  // SNI
  std::string big(1 << 20, 'x');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  p.client->Write(big);
  EXPECT_EQ(p.ServerReads(big.size()), big);
  p.server->Write("pong");
  p.Pump();
  std::string got;
  EXPECT_EQ(p.client->Read(got, 2), 2u);  // at most what was asked
  p.client->Read(got, 100);
  EXPECT_EQ(got, "pong");
  p.client->Shutdown();
  p.Pump();
  std::string none;
  EXPECT_EQ(p.server->Read(none, 10), 0u);
  EXPECT_TRUE(p.server->PeerClosed());
  EXPECT_FALSE(p.client->PeerClosed());
}

TEST(OpenSSLEngine, VersionPinningAndRefusal) {
  for (auto version : {tls1_2, tls1_3}) {
    auto client = ClientSettings();
    client.Version = version;
    Pair p(client, ServerSettings());
    p.Handshake();
    EXPECT_EQ(p.client->Info().Version, version == tls1_2 ? "TLSv1.2" : "TLSv1.3");
    EXPECT_EQ(p.server->Info().Version, p.client->Info().Version);
  }
  auto client = ClientSettings();
  client.Version = tls1_3;
  auto server = ServerSettings();
  server.Version = tls1_2;
  Pair p(client, server);
  EXPECT_THROW(p.Handshake(), EzorTLSError);
}

TEST(OpenSSLEngine, OldVersionsWorkWhenAskedForExplicitly) {
  auto client = ClientSettings();
  client.Version = tls1_1;
  auto server = ServerSettings();
  server.Version = tls1_1;
  Pair p(client, server);
  p.Handshake();
  EXPECT_EQ(p.client->Info().Version, "TLSv1.1");
}

TEST(OpenSSLEngine, ALPNOfferedInOrderAndChosenByServer) {
  auto client = ClientSettings();
  client.ALPNProtocols = {"h2", "", "http/1.1"};  // the empty line is left out
  auto server = ServerSettings();
  std::vector<std::string> seen;
  server.ALPNSelector = [&](const std::vector<std::string>& offered, std::string& chosen) {
    seen = offered;
    chosen = "http/1.1";
    return true;
  };
  Pair p(client, server);
  p.Handshake();
  EXPECT_EQ(seen, (std::vector<std::string>{"h2", "http/1.1"}));
  EXPECT_EQ(p.client->Info().ALPN, "http/1.1");
  EXPECT_EQ(p.server->Info().ALPN, "http/1.1");

  // Without a selector the server takes the first of its own list the client offers.
  auto plain_server = ServerSettings();
  plain_server.ALPNProtocols = {"spdy/3", "http/1.1", "h2"};
  Pair q(client, plain_server);
  q.Handshake();
  EXPECT_EQ(q.client->Info().ALPN, "http/1.1");

  // Nothing in common: no protocol, and no failure.
  plain_server.ALPNProtocols = {"xmpp"};
  Pair r(client, plain_server);
  r.Handshake();
  EXPECT_EQ(r.client->Info().ALPN, "");
}

TEST(OpenSSLEngine, HostNameIsVerifiedWhenVerificationIsOn) {
  Pair by_address(ClientSettings(), ServerSettings(), "127.0.0.1");
  by_address.Handshake();
  EXPECT_EQ(by_address.server->Info().ServerName, "");  // no SNI for an address

  Pair wrong(ClientSettings(), ServerSettings(), "other.example");
  try {
    wrong.Handshake();
    FAIL() << "a certificate for another host was accepted";
  } catch (const EzorTLSError& e) {
    EXPECT_NE(std::string(e.what()).find("verification failed"), std::string::npos) << e.what();
  }

  auto unchecked = ClientSettings();
  unchecked.VerifyCertificate = false;
  unchecked.RootCertFile.clear();
  Pair any(unchecked, ServerSettings(), "other.example");
  any.Handshake();
  EXPECT_EQ(any.server->Info().ServerName, "other.example");

  auto untrusted = ClientSettings();
  untrusted.RootCertFile = PKI().ServerCertFile();  // not the issuer
  Pair no_chain(untrusted, ServerSettings());
  EXPECT_THROW(no_chain.Handshake(), EzorTLSError);
}

TEST(OpenSSLEngine, VerifyPeerHookSeesTheChainAndDecides) {
  struct Seen {
    std::string subject;
    bool ok;
    int depth;
  };
  std::vector<Seen> seen;
  auto recording = [&seen](bool answer) {
    return [&seen, answer](const TzorTLSCertificateInfo& c, bool ok, int depth, int) {
      EXPECT_EQ(c.PEM.rfind("-----BEGIN CERTIFICATE-----", 0), 0u);
      seen.push_back({c.Subject, ok, depth});
      return answer && ok;
    };
  };

  // A trusted chain: the root first, then the server's own certificate.
  auto trusting = ClientSettings();
  trusting.OnVerifyPeer = recording(true);
  Pair good(trusting, ServerSettings());
  good.Handshake();
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(seen.back().depth, 0);
  EXPECT_TRUE(seen.back().ok);
  EXPECT_EQ(good.client->Info().PeerSubject, seen.back().subject);

  // The hook refuses what the library would accept.
  seen.clear();
  auto refusing = ClientSettings();
  refusing.OnVerifyPeer = recording(false);
  Pair refused(refusing, ServerSettings());
  EXPECT_THROW(refused.Handshake(), EzorTLSError);
  ASSERT_FALSE(seen.empty());

  // And accepts what the library refuses: an issuer it does not trust.
  seen.clear();
  auto untrusted = ClientSettings();
  untrusted.RootCertFile = PKI().ServerCertFile();
  untrusted.OnVerifyPeer = [&seen](const TzorTLSCertificateInfo& c, bool ok, int depth, int error) {
    seen.push_back({c.Subject, ok, depth});
    EXPECT_EQ(ok, error == 0);
    return true;
  };
  Pair overridden(untrusted, ServerSettings());
  overridden.Handshake();
  ASSERT_FALSE(seen.empty());
  EXPECT_FALSE(seen.front().ok);

  // A throwing hook refuses rather than unwinding through the TLS library.
  auto throwing = ClientSettings();
  throwing.OnVerifyPeer = [](const TzorTLSCertificateInfo&, bool, int, int) -> bool {
    throw std::runtime_error("hook failed");
  };
  Pair thrown(throwing, ServerSettings());
  EXPECT_THROW(thrown.Handshake(), EzorTLSError);
}

TEST(OpenSSLEngine, ClientCertificates) {
  auto server = ServerSettings();
  server.VerifyCertificate = true;
  server.FailIfNoCertificate = true;
  server.RootCertFile = PKI().CAFile();

  Pair without(ClientSettings(), server);
  EXPECT_THROW(
      {
        without.Handshake();
        // TLS 1.3 clients learn of the refusal with their first read.
        std::string out;
        without.client->Read(out, 10);
      },
      EzorTLSError);

  auto client = ClientSettings();
  client.CertFile = PKI().EncryptedClientCertFile();
  client.KeyFile = PKI().EncryptedClientKeyFile();
  int asked = 0;
  client.OnGetPassword = [&] {
    ++asked;
    return std::string("secret");
  };
  Pair with(client, server);
  with.Handshake();
  EXPECT_EQ(asked, 1);
  EXPECT_NE(with.server->Info().PeerSubject.find("zor test client 2"), std::string::npos);

  client.OnGetPassword = [] { return std::string("wrong"); };
  EXPECT_THROW(NewOpenSSLContext(client), EzorTLSError);
  client.CertFile = PKI().Dir() + "/missing.pem";
  EXPECT_THROW(NewOpenSSLContext(client), EzorTLSError);
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(OpenSSLEngine, CertificateAndKeyAsText) {
  TzorTLSSettings server;
  server.Side = TzorTLSSide::tlsServer;
  server.CertPEM = FileText(PKI().ServerCertFile());
  server.KeyPEM = FileText(PKI().ServerKeyFile());
  server.CertFile = PKI().Dir() + "/missing.pem";  // the text wins
  Pair p(ClientSettings(), server);
  p.Handshake();
  EXPECT_EQ(p.client->Info().Version, "TLSv1.3");

  auto client = ClientSettings();
  client.CertPEM = FileText(PKI().EncryptedClientCertFile());
  client.KeyPEM = FileText(PKI().EncryptedClientKeyFile());
  client.OnGetPassword = [] { return std::string("secret"); };
  EXPECT_NO_THROW(NewOpenSSLContext(client));
  client.OnGetPassword = [] { return std::string("wrong"); };
  EXPECT_THROW(NewOpenSSLContext(client), EzorTLSError);

  auto mismatched = server;
  mismatched.KeyPEM = FileText(PKI().ClientKeyFile());
  EXPECT_THROW(NewOpenSSLContext(mismatched), EzorTLSError);
  auto garbage = server;
  garbage.CertPEM = "-----BEGIN CERTIFICATE-----\nnot base64\n-----END CERTIFICATE-----\n";
  EXPECT_THROW(NewOpenSSLContext(garbage), EzorTLSError);
}

// Ciphertext arriving in slices of any size splits records anywhere, also
// inside the part OpenSSL has begun; the room a slice is read into may be
// larger than the slice. Each Read returns at most what was
// asked; once the last slice is in, Reads deliver everything without more
// input, as an event-driven caller reads only when bytes arrive.
TEST(OpenSSLEngine, RecordsSplitAcrossArrivalsAreReadWhole) {
  struct Case {
    size_t slice;
    size_t max;
  };
  const Case cases[] = {{1, SIZE_MAX},     {5, SIZE_MAX},  {6, SIZE_MAX},    {1000, SIZE_MAX},
                        {16 * 1024 + 21, SIZE_MAX}, {70000, SIZE_MAX}, {70000, 10}, {3000, 16 * 1024}};
  std::string sent(100000, '\0');
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i * 13 + i / 256);
  for (const Case& c : cases) {
    Pair p(ClientSettings(), ServerSettings());
    p.Handshake();
    p.client->Write(sent);
    std::string wire;
    p.client->TakeOutgoing(wire);
    std::string got;
    for (size_t at = 0; at < wire.size(); at += c.slice) {
      const std::string_view slice = std::string_view(wire).substr(at, c.slice);
      if ((at / c.slice) % 2 == 0) {
        p.server->PutIncoming(slice);
      } else {
        // As a socket read: into room larger than what arrives.
        const std::span<char> room = p.server->IncomingRoom(slice.size() + 4096);
        std::memcpy(room.data(), slice.data(), slice.size());
        p.server->CommitIncoming(slice.size());
      }
      EXPECT_LE(p.server->Read(got, c.max), c.max);
    }
    while (got.size() < sent.size() && p.server->Read(got, c.max) > 0) {
    }
    EXPECT_TRUE(got == sent) << "slice " << c.slice << ", max " << c.max << ": " << got.size() << " bytes";
  }
}

// A source (a socket read) serves once what was put in is used up; it may
// have nothing now and more later, and only reads given it ask it.
TEST(OpenSSLEngine, ReadsFromASourceAfterWhatWasPutIn) {
  Pair p(ClientSettings(), ServerSettings());
  p.Handshake();
  std::string sent(100000, '\0');
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i * 11 + i / 256);
  p.client->Write(sent);
  std::string wire;
  p.client->TakeOutgoing(wire);
  p.server->PutIncoming(std::string_view(wire).substr(0, 3000));
  size_t at = 3000, calls = 0;
  bool dry = false;
  const TzorCiphertextSource source = [&](std::span<char> room) -> size_t {
    ++calls;
    if (dry) return 0;
    const size_t n = std::min({room.size(), wire.size() - at, size_t{7000}});
    std::memcpy(room.data(), wire.data() + at, n);
    at += n;
    return n;
  };
  std::string got;
  EXPECT_EQ(p.server->Read(got, 50000, source), 50000u);
  EXPECT_TRUE(got == sent.substr(0, 50000));
  dry = true;
  p.server->Read(got, SIZE_MAX, source);
  EXPECT_LT(got.size(), sent.size());
  const size_t asked = calls;
  p.server->Read(got, SIZE_MAX);
  EXPECT_EQ(calls, asked);
  dry = false;
  while (got.size() < sent.size() && p.server->Read(got, SIZE_MAX, source) > 0) {
  }
  EXPECT_EQ(at, wire.size());
  EXPECT_TRUE(got == sent) << got.size() << " bytes";
}

TEST(OpenSSLEngine, GarbageFromThePeerFails) {
  auto ctx = NewOpenSSLContext(ServerSettings());
  auto server = ctx->NewEngine({});
  // Application data before any handshake.
  server->PutIncoming(std::string("\x17\x03\x03\x00\x05hello", 10));
  EXPECT_THROW(server->Handshake(), EzorTLSError);
  std::string alert;
  server->TakeOutgoing(alert);
  EXPECT_FALSE(alert.empty());  // the peer is told why
}

}  // namespace
}  // namespace zor
