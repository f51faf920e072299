#include "base/digest.h"

#include "base/exceptions.h"
#include "base/sha2_builtin.h"

#include <openssl/evp.h>

#include <map>
#include <mutex>
#include <string>

namespace zor {

namespace {

// The algorithm fetched once per process: a fetch takes a global lock and a
// table lookup, which would dominate digests of short inputs.
const EVP_MD* FetchOnce(const char* name) {
  // Never destroyed: the digests stay valid (and reachable) until exit.
  static std::mutex lock;
  static auto* const fetched = new std::map<std::string, const EVP_MD*>;
  std::lock_guard guard(lock);
  auto [it, inserted] = fetched->try_emplace(name, nullptr);
  if (inserted) it->second = EVP_MD_fetch(nullptr, name, nullptr);
  return it->second;
}

// One OpenSSL digest; throws when the algorithm is unavailable or fails.
TBytes OpenSSLDigest(const char* name, const char* unavailable, const uint8_t* data, size_t size) {
  const EVP_MD* md = FetchOnce(name);
  if (!md) throw Exception(unavailable);
  TBytes out(static_cast<size_t>(EVP_MD_get_size(md)));
  unsigned int len = 0;
  if (EVP_Digest(data, size, out.data(), &len, md, nullptr) != 1) throw Exception(unavailable);
  out.resize(len);
  return out;
}

template <class Builtin>
TBytes SHA2(const char* name, const char* unavailable, const TBytes& bytes, Builtin builtin) {
  try {
    return OpenSSLDigest(name, unavailable, bytes.data(), bytes.size());
  } catch (const std::exception&) {
    const auto digest = builtin(bytes.data(), bytes.size());
    return TBytes(digest.begin(), digest.end());
  }
}

}  // namespace

TBytes HashSHA256(const TBytes& bytes) {
  return SHA2("SHA2-256", "SHA256 hashing is not available!", bytes, BuiltinSHA256);
}

TBytes HashSHA384(const TBytes& bytes) {
  return SHA2("SHA2-384", "SHA384 hashing is not available!", bytes, BuiltinSHA384);
}

TBytes HashSHA512(const TBytes& bytes) {
  return SHA2("SHA2-512", "SHA512 hashing is not available!", bytes, BuiltinSHA512);
}

TBytes HashSHA1(const uint8_t* data, size_t size) {
  return OpenSSLDigest("SHA1", "SHA1 hashing is not available!", data, size);
}

std::string MD5HexOfHexText(std::string_view hex) {
  const TBytes bytes = HexTextToBytes(hex);
  const TBytes digest = OpenSSLDigest("MD5", "MD5 hashing is not available!", bytes.data(), bytes.size());
  return BytesToHexText(digest.data(), digest.size());
}

}  // namespace zor
