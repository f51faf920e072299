#include "net/schannel_algorithms.h"

namespace zor {

namespace {

struct Algorithm {
  const char* name;
  uint32_t id;
};

// CALG_SHA and CALG_SHA1 share an identifier; the later name is reported.
constexpr Algorithm kAlgorithms[] = {
    {"CALG_3DES", CALG_3DES},
    {"CALG_3DES_112", CALG_3DES_112},
    {"CALG_AES", CALG_AES},
    {"CALG_AES_128", CALG_AES_128},
    {"CALG_AES_192", CALG_AES_192},
    {"CALG_AES_256", CALG_AES_256},
    {"CALG_AGREEDKEY_ANY", 0xAA03},
    {"CALG_CYLINK_MEK", 0x660C},
    {"CALG_DES", 0x6601},
    {"CALG_DESX", 0x6604},
    {"CALG_DH_EPHEM", CALG_DH_EPHEM},
    {"CALG_DH_SF", 0xAA01},
    {"CALG_DSS_SIGN", CALG_DSS_SIGN},
    {"CALG_ECDH", CALG_ECDH},
    {"CALG_ECDH_EPHEM", CALG_ECDH_EPHEM},
    {"CALG_ECDSA", CALG_ECDSA},
    {"CALG_ECMQV", 0xA001},
    {"CALG_HASH_REPLACE_OWF", 0x800B},
    {"CALG_HUGHES_MD5", 0xA003},
    {"CALG_HMAC", 0x8009},
    {"CALG_KEA_KEYX", 0xAA04},
    {"CALG_MAC", 0x8005},
    {"CALG_MD2", 0x8001},
    {"CALG_MD4", 0x8002},
    {"CALG_MD5", CALG_MD5},
    {"CALG_NO_SIGN", 0x2000},
    {"CALG_OID_INFO_CNG_ONLY", 0xFFFFFFFF},
    {"CALG_OID_INFO_PARAMETERS", 0xFFFFFFFE},
    {"CALG_PCT1_MASTER", 0x4C04},
    {"CALG_RC2", 0x6602},
    {"CALG_RC4", CALG_RC4},
    {"CALG_RC5", 0x660D},
    {"CALG_RSA_KEYX", CALG_RSA_KEYX},
    {"CALG_RSA_SIGN", CALG_RSA_SIGN},
    {"CALG_SCHANNEL_ENC_KEY", 0x4C07},
    {"CALG_SCHANNEL_MAC_KEY", 0x4C03},
    {"CALG_SCHANNEL_MASTER_HASH", 0x4C02},
    {"CALG_SEAL", 0x6802},
    {"CALG_SHA", CALG_SHA1},
    {"CALG_SHA1", CALG_SHA1},
    {"CALG_SHA_256", CALG_SHA_256},
    {"CALG_SHA_384", CALG_SHA_384},
    {"CALG_SHA_512", CALG_SHA_512},
    {"CALG_SKIPJACK", 0x660A},
    {"CALG_SSL2_MASTER", 0x4C05},
    {"CALG_SSL3_MASTER", 0x4C01},
    {"CALG_SSL3_SHAMD5", 0x8008},
    {"CALG_TEK", 0x660B},
    {"CALG_TLS1_MASTER", 0x4C06},
    {"CALG_TLS1PRF", 0x800A},
};

}  // namespace

uint32_t AlgorithmId(std::string_view name) {
  for (const auto& a : kAlgorithms)
    if (name == a.name) return a.id;
  return 0;
}

std::string AlgorithmName(uint32_t id) {
  std::string name;
  for (const auto& a : kAlgorithms)
    if (a.id == id) name = a.name;
  return name;
}

std::vector<uint32_t> AlgorithmIds(std::string_view cipher_list) {
  std::vector<uint32_t> ids;
  while (!cipher_list.empty()) {
    const size_t colon = cipher_list.find(':');
    if (const uint32_t id = AlgorithmId(cipher_list.substr(0, colon))) ids.push_back(id);
    if (colon == std::string_view::npos) break;
    cipher_list.remove_prefix(colon + 1);
  }
  return ids;
}

}  // namespace zor
