#pragma once
// Algorithm identifiers of the platform TLS provider (the cryptography
// interface's published values) and their names, as CipherList names them
// and the connection information reports them.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zor {

constexpr uint32_t CALG_3DES = 0x6603;
constexpr uint32_t CALG_3DES_112 = 0x6609;
constexpr uint32_t CALG_AES = 0x6611;
constexpr uint32_t CALG_AES_128 = 0x660E;
constexpr uint32_t CALG_AES_192 = 0x660F;
constexpr uint32_t CALG_AES_256 = 0x6610;
constexpr uint32_t CALG_DH_EPHEM = 0xAA02;
constexpr uint32_t CALG_DSS_SIGN = 0x2200;
constexpr uint32_t CALG_ECDH = 0xAA05;
constexpr uint32_t CALG_ECDH_EPHEM = 0xAE06;
constexpr uint32_t CALG_ECDSA = 0x2203;
constexpr uint32_t CALG_MD5 = 0x8003;
constexpr uint32_t CALG_RC4 = 0x6801;
constexpr uint32_t CALG_RSA_KEYX = 0xA400;
constexpr uint32_t CALG_RSA_SIGN = 0x2400;
constexpr uint32_t CALG_SHA1 = 0x8004;
constexpr uint32_t CALG_SHA_256 = 0x800C;
constexpr uint32_t CALG_SHA_384 = 0x800D;
constexpr uint32_t CALG_SHA_512 = 0x800E;

// The identifier of a name (case-sensitive), 0 when the name is not known.
uint32_t AlgorithmId(std::string_view name);
// The first name of an identifier, empty when it has none.
std::string AlgorithmName(uint32_t id);
// The identifiers of the known names of a colon-separated list, in order.
std::vector<uint32_t> AlgorithmIds(std::string_view cipher_list);

}  // namespace zor
