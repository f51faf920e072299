// Tokens crossing between us and two independent JWT implementations: PyJWT
// (Debian's python3-jwt) and Node's jose. Each peer runs once per batch of
// commands (see pyjwt_peer.py for the line protocol).
#include "auth/jwt_server.h"
#include "tests/auth/jwt_test_support.h"

#include "base/format.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>

namespace zor {
namespace {

using test::Bytes;
using test::KeyBytes;
using test::MakeToken;
using test::ReadKey;

const std::string kSource = ZOR_SOURCE_DIR;
const std::string kKeys = kSource + "/tests/auth/keys/";

struct Peer {
  const char* name;
  std::string command;
};

const Peer kPeers[] = {
    {"PyJWT", "/usr/bin/python3 " + kSource + "/tests/interop/jwt/pyjwt_peer.py"},
    {"jose", "cd " + kSource + "/tests/interop && node jwt/jose_peer.mjs"},
};

// A file that goes away with the test.
class TempFile {
 public:
  explicit TempFile(const std::string& content) {
    char name[] = "/tmp/zor_jwt_XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    close(fd);
    path_ = name;
    std::ofstream(path_, std::ios::binary) << content;
  }
  ~TempFile() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Runs the peer with one command a line; returns its answer lines.
std::vector<std::string> Ask(const Peer& peer, const std::vector<std::string>& commands) {
  std::string input;
  for (const std::string& command : commands) input += command + "\n";
  TempFile file(input);
  FILE* pipe = popen((peer.command + " < " + file.path()).c_str(), "r");
  if (!pipe) throw std::runtime_error("cannot start peer");
  std::vector<std::string> answers;
  std::string line;
  for (int c; (c = fgetc(pipe)) != EOF;) {
    if (c != '\n') {
      line += static_cast<char>(c);
      continue;
    }
    answers.push_back(line);
    line.clear();
  }
  const int status = pclose(pipe);
  EXPECT_EQ(status, 0) << peer.name << " exited abnormally";
  EXPECT_EQ(answers.size(), commands.size()) << peer.name;
  answers.resize(commands.size());
  return answers;
}

struct Algorithm {
  TzorHTTP_JWT_Algorithm alg;
  std::string private_key;  // file for the peers; HS: the secret file
  std::string public_key;
};

class JWTInterop : public ::testing::Test {
 protected:
  JWTInterop() : secret_("interop secret: at least 32 bytes long, for HS512 too") {
    algorithms_ = {
        {jwtHS256, secret_.path(), secret_.path()},
        {jwtHS384, secret_.path(), secret_.path()},
        {jwtHS512, secret_.path(), secret_.path()},
        {jwtRS256, kKeys + "rsa2048_pkcs8.pem", kKeys + "rsa2048_public.pem"},
        {jwtRS384, kKeys + "rsa2048_pkcs8.pem", kKeys + "rsa2048_public.pem"},
        {jwtRS512, kKeys + "rsa2048_pkcs8.pem", kKeys + "rsa2048_public.pem"},
        {jwtES256, kKeys + "ec256_pkcs8.pem", kKeys + "ec256_public.pem"},
        {jwtES384, kKeys + "ec384_pkcs8.pem", kKeys + "ec384_public.pem"},
        {jwtES512, kKeys + "ec521_pkcs8.pem", kKeys + "ec521_public.pem"},
    };
    auto& algorithms = server_.JWTOptions().Algorithms();
    algorithms.HS().SetSecret(ReadFile(secret_.path()));
    algorithms.RS().SetPublicKeyText(ReadKey("rsa2048_public.pem"));
    server_.OnJWTAfterValidateToken = [this](auto*, auto*, const auto&, const auto&, const auto&,
                                             const std::string& error, bool&) { last_error_ = error; };
  }

  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string Sign(const Algorithm& a, const std::string& payload) {
    return MakeToken(a.alg, payload, Bytes(ReadFile(a.private_key)));
  }

  // Our check, with the ES key of the token's curve.
  bool Accepts(const Algorithm& a, const std::string& token) {
    server_.JWTOptions().Algorithms().ES().SetPublicKeyText(ReadFile(a.public_key));
    return server_.IsJWTTokenValid(nullptr, token);
  }

  static std::string Claims(int64_t iat, int64_t exp, const char* more = "") {
    return Format(R"({"iat":%lld,"exp":%lld%s})", static_cast<long long>(iat), static_cast<long long>(exp), more);
  }

  TempFile secret_;
  std::vector<Algorithm> algorithms_;
  TzorHTTPComponentServer_JWT server_;
  std::string last_error_;
  const int64_t now_ = static_cast<int64_t>(std::time(nullptr));
};

TEST_F(JWTInterop, OurTokensVerifyInThePeersAndBrokenOnesDoNot) {
  TzorHTTP_JWTPayload payload;
  payload.Setiss("zor");
  payload.Setsub("user 1");
  payload.Setiat(now_);
  payload.Setexp(now_ + 600);
  payload.AddKeyValue("note", R"({"x":"a/b"})");
  payload.AddKeyValue("admin", true);
  const std::string claims = payload.JSONText();
  const std::string expected = Format(R"(ok {"admin":true,"exp":%lld,"iat":%lld,"iss":"zor",)"
                                      R"("note":"{\"x\":\"a/b\"}","sub":"user 1"})",
                                      static_cast<long long>(now_ + 600), static_cast<long long>(now_));
  std::vector<std::string> commands;
  for (const Algorithm& a : algorithms_) {
    const std::string alg = JWTAlgorithmToText(a.alg);
    const std::string token = Sign(a, claims);
    commands.push_back("verify " + alg + " " + a.public_key + " " + token);
    // Tampered payload, expired, not yet valid.
    const std::string other = EncodeJWTPart(std::string(R"({"sub":"admin"})"));
    commands.push_back("verify " + alg + " " + a.public_key + " " + token.substr(0, token.find('.') + 1) + other +
                       token.substr(token.rfind('.')));
    commands.push_back("verify " + alg + " " + a.public_key + " " + Sign(a, Claims(now_ - 900, now_ - 300)));
    commands.push_back("verify " + alg + " " + a.public_key + " " + Sign(a, Claims(now_, now_ + 900, R"(,"nbf":9999999999)")));
  }
  for (const Peer& peer : kPeers) {
    SCOPED_TRACE(peer.name);
    const auto answers = Ask(peer, commands);
    for (size_t i = 0; i < answers.size(); i += 4) {
      SCOPED_TRACE(commands[i].substr(0, 12));
      EXPECT_EQ(answers[i], expected);
      for (size_t k = 1; k < 4; ++k) EXPECT_EQ(answers[i + k].rfind("reject ", 0), 0u) << answers[i + k];
    }
  }
}

TEST_F(JWTInterop, PeerTokensVerifyInOursAndBrokenOnesDoNot) {
  std::vector<std::string> commands;
  for (const Algorithm& a : algorithms_) {
    const std::string prefix = "sign " + JWTAlgorithmToText(a.alg) + " " + a.private_key + " ";
    commands.push_back(prefix + Claims(now_, now_ + 600, R"(,"sub":"peer")"));
    commands.push_back(prefix + Claims(now_ - 900, now_ - 300));
    commands.push_back(prefix + Claims(now_, now_ + 900, R"(,"nbf":9999999999)"));
  }
  commands.push_back(R"(sign-none {"sub":"admin"})");
  for (const Peer& peer : kPeers) {
    SCOPED_TRACE(peer.name);
    const auto tokens = Ask(peer, commands);
    for (size_t i = 0; i < algorithms_.size(); ++i) {
      const Algorithm& a = algorithms_[i];
      SCOPED_TRACE(JWTAlgorithmToText(a.alg));
      const std::string& token = tokens[3 * i];
      EXPECT_TRUE(Accepts(a, token)) << token << " " << last_error_;
      std::string tampered = token;
      tampered[token.find('.') + 3] ^= 1;
      EXPECT_FALSE(Accepts(a, tampered));
      EXPECT_FALSE(Accepts(a, tokens[3 * i + 1]));
      EXPECT_EQ(last_error_, "Invalid exp value. ");
      EXPECT_FALSE(Accepts(a, tokens[3 * i + 2]));
      EXPECT_EQ(last_error_, "Invalid nbf value. ");
    }
    EXPECT_FALSE(server_.IsJWTTokenValid(nullptr, tokens.back())) << tokens.back();
  }
}

// The public RSA key used as an HMAC secret under a switched "alg": a
// classic forgery that every side must refuse.
TEST_F(JWTInterop, SwitchedAlgorithmIsRefusedEverywhere) {
  const std::string forged = MakeToken(jwtHS256, Claims(now_, now_ + 600), KeyBytes("rsa2048_public.pem"));
  EXPECT_FALSE(server_.IsJWTTokenValid(nullptr, forged));
  for (const Peer& peer : kPeers) {
    const auto answers = Ask(peer, {"verify RS256 " + kKeys + "rsa2048_public.pem " + forged});
    EXPECT_EQ(answers[0].rfind("reject ", 0), 0u) << peer.name << ": " << answers[0];
  }
}

TEST_F(JWTInterop, PeerEcdsaSignaturesWithLeadingZeroBytes) {
  std::vector<std::string> commands;
  const std::vector<Algorithm> es(algorithms_.end() - 3, algorithms_.end());
  for (const Algorithm& a : es) commands.push_back("sign-zero " + JWTAlgorithmToText(a.alg) + " " + a.private_key);
  for (const Peer& peer : kPeers) {
    SCOPED_TRACE(peer.name);
    const auto tokens = Ask(peer, commands);
    for (size_t i = 0; i < es.size(); ++i) {
      const std::string& token = tokens[i];
      bool well_formed = false;
      const TBytes signature = DecodeBase64URLPart(token.substr(token.rfind('.') + 1), well_formed);
      const size_t size = ESSignatureSize(JWTAlgorithmDigestBits(es[i].alg));
      ASSERT_TRUE(well_formed) << token;
      ASSERT_EQ(signature.size(), size);
      EXPECT_TRUE(signature[0] == 0 || signature[size / 2] == 0);
      std::string header, payload, error;
      server_.JWTOptions().Algorithms().ES().SetPublicKeyText(ReadFile(es[i].public_key));
      EXPECT_TRUE(server_.Validate(token, header, payload, error)) << token;
    }
  }
}

}  // namespace
}  // namespace zor
