// Token signatures per second (HS256, RS256, ES256), each next to the same
// operation called directly on OpenSSL with a key loaded once: the gap is
// what the token layer adds (key lookup by PEM text, Base64 forms, R||S).
#include "auth/jwt_helpers.h"
#include "auth/jwt_signers.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/pem.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

using zor::TBytes;

std::string ReadKey(const char* name) {
  std::ifstream in(std::string(ZOR_SOURCE_DIR) + "/tests/auth/keys/" + name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TBytes Bytes(const std::string& text) { return TBytes(text.begin(), text.end()); }

// A typical header and payload.
const std::string kHeader = zor::EncodeJWTPart(std::string(R"({"alg":"RS256","typ":"JWT"})"));
const std::string kPayload = zor::EncodeJWTPart(
    std::string(R"({"iss":"zor","sub":"user-1","aud":"api","iat":1700000000,"exp":1700003600})"));
const std::string kInput = zor::SigningInput(kHeader, kPayload);

EVP_PKEY* LoadPrivate(const std::string& pem) {
  BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
  EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  return key;
}

EVP_PKEY* LoadPublic(const std::string& pem) {
  BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
  EVP_PKEY* key = PEM_read_bio_PUBKEY(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  return key;
}

TBytes OpenSSLSign(EVP_PKEY* key) {
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  EVP_DigestSignInit(ctx, nullptr, EVP_sha256(), nullptr, key);
  size_t length = 0;
  EVP_DigestSign(ctx, nullptr, &length, reinterpret_cast<const uint8_t*>(kInput.data()), kInput.size());
  TBytes signature(length);
  EVP_DigestSign(ctx, signature.data(), &length, reinterpret_cast<const uint8_t*>(kInput.data()), kInput.size());
  EVP_MD_CTX_free(ctx);
  signature.resize(length);
  return signature;
}

bool OpenSSLVerify(EVP_PKEY* key, const TBytes& signature) {
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  EVP_DigestVerifyInit(ctx, nullptr, EVP_sha256(), nullptr, key);
  const bool ok = EVP_DigestVerify(ctx, signature.data(), signature.size(),
                                   reinterpret_cast<const uint8_t*>(kInput.data()), kInput.size()) == 1;
  EVP_MD_CTX_free(ctx);
  return ok;
}

void Report(benchmark::State& state) {
  state.counters["ops/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// HS256
const std::string kSecret = "a 32-byte secret for HMAC tokens";

void BM_HS256_Sign_Zor(benchmark::State& state) {
  const zor::TzorHTTP_JWT_HMAC hmac;
  const TBytes input = Bytes(kInput), key = Bytes(kSecret);
  for (auto _ : state) benchmark::DoNotOptimize(zor::EncodeJWTPart(hmac.SignHMAC256(input, key)));
  Report(state);
}

void BM_HS256_Sign_OpenSSL(benchmark::State& state) {
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  for (auto _ : state) {
    HMAC(EVP_sha256(), kSecret.data(), static_cast<int>(kSecret.size()),
         reinterpret_cast<const uint8_t*>(kInput.data()), kInput.size(), mac, &length);
    benchmark::DoNotOptimize(mac);
  }
  Report(state);
}

void BM_HS256_Verify_Zor(benchmark::State& state) {
  const zor::TzorHTTP_JWT_HMAC hmac;
  const std::string signature = zor::EncodeJWTPart(hmac.SignHMAC256(Bytes(kInput), Bytes(kSecret)));
  for (auto _ : state) benchmark::DoNotOptimize(hmac.ValidateHMAC256(kHeader, kPayload, kSecret, signature));
  Report(state);
}

void BM_HS256_Verify_OpenSSL(benchmark::State& state) {
  unsigned char expected[EVP_MAX_MD_SIZE], mac[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  HMAC(EVP_sha256(), kSecret.data(), static_cast<int>(kSecret.size()),
       reinterpret_cast<const uint8_t*>(kInput.data()), kInput.size(), expected, &length);
  for (auto _ : state) {
    HMAC(EVP_sha256(), kSecret.data(), static_cast<int>(kSecret.size()),
         reinterpret_cast<const uint8_t*>(kInput.data()), kInput.size(), mac, &length);
    benchmark::DoNotOptimize(CRYPTO_memcmp(mac, expected, length));
  }
  Report(state);
}

// RS256 and ES256: ours from PEM text each call, OpenSSL with a loaded key.
template <class Signer>
void SignZor(benchmark::State& state, const char* key_name) {
  const Signer signer;
  const TBytes input = Bytes(kInput), key = Bytes(ReadKey(key_name));
  for (auto _ : state) benchmark::DoNotOptimize(zor::EncodeJWTPart(signer.Sign(256, input, key)));
  Report(state);
}

template <class Signer>
void VerifyZor(benchmark::State& state, const char* private_name, const char* public_name) {
  const Signer signer;
  const std::string public_key = ReadKey(public_name);
  const std::string signature = zor::EncodeJWTPart(signer.Sign(256, Bytes(kInput), Bytes(ReadKey(private_name))));
  for (auto _ : state) benchmark::DoNotOptimize(signer.Validate(256, kHeader, kPayload, public_key, signature));
  Report(state);
}

void SignOpenSSL(benchmark::State& state, const char* key_name) {
  EVP_PKEY* key = LoadPrivate(ReadKey(key_name));
  for (auto _ : state) benchmark::DoNotOptimize(OpenSSLSign(key));
  EVP_PKEY_free(key);
  Report(state);
}

void VerifyOpenSSL(benchmark::State& state, const char* private_name, const char* public_name) {
  EVP_PKEY* private_key = LoadPrivate(ReadKey(private_name));
  EVP_PKEY* key = LoadPublic(ReadKey(public_name));
  const TBytes signature = OpenSSLSign(private_key);
  for (auto _ : state) benchmark::DoNotOptimize(OpenSSLVerify(key, signature));
  EVP_PKEY_free(key);
  EVP_PKEY_free(private_key);
  Report(state);
}

void BM_RS256_Sign_Zor(benchmark::State& s) { SignZor<zor::TzorHTTP_JWT_RSA>(s, "rsa2048_pkcs8.pem"); }
void BM_RS256_Sign_OpenSSL(benchmark::State& s) { SignOpenSSL(s, "rsa2048_pkcs8.pem"); }
void BM_RS256_Verify_Zor(benchmark::State& s) {
  VerifyZor<zor::TzorHTTP_JWT_RSA>(s, "rsa2048_pkcs8.pem", "rsa2048_public.pem");
}
void BM_RS256_Verify_OpenSSL(benchmark::State& s) { VerifyOpenSSL(s, "rsa2048_pkcs8.pem", "rsa2048_public.pem"); }
void BM_ES256_Sign_Zor(benchmark::State& s) { SignZor<zor::TzorHTTP_JWT_ES>(s, "ec256_pkcs8.pem"); }
void BM_ES256_Sign_OpenSSL(benchmark::State& s) { SignOpenSSL(s, "ec256_pkcs8.pem"); }
void BM_ES256_Verify_Zor(benchmark::State& s) {
  VerifyZor<zor::TzorHTTP_JWT_ES>(s, "ec256_pkcs8.pem", "ec256_public.pem");
}
void BM_ES256_Verify_OpenSSL(benchmark::State& s) { VerifyOpenSSL(s, "ec256_pkcs8.pem", "ec256_public.pem"); }

BENCHMARK(BM_HS256_Sign_Zor);
BENCHMARK(BM_HS256_Sign_OpenSSL);
BENCHMARK(BM_HS256_Verify_Zor);
BENCHMARK(BM_HS256_Verify_OpenSSL);
BENCHMARK(BM_RS256_Sign_Zor);
BENCHMARK(BM_RS256_Sign_OpenSSL);
BENCHMARK(BM_RS256_Verify_Zor);
BENCHMARK(BM_RS256_Verify_OpenSSL);
BENCHMARK(BM_ES256_Sign_Zor);
BENCHMARK(BM_ES256_Sign_OpenSSL);
BENCHMARK(BM_ES256_Verify_Zor);
BENCHMARK(BM_ES256_Verify_OpenSSL);

}  // namespace
