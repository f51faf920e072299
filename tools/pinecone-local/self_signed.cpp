#include "tools/pinecone-local/self_signed.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <memory>
#include <stdexcept>

namespace zor::pinecone_local {
namespace {

template <class T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using ExtPtr = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION, X509_EXTENSION_free>>;

void Check(bool ok, const char* step) {
  if (!ok) throw std::runtime_error(std::string("Cannot make the service certificate: ") + step);
}

std::string BioText(BIO* bio) {
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio, &data);
  return std::string(data, static_cast<size_t>(size));
}

}  // namespace

TlsIdentity MakeSelfSignedIdentity() {
  KeyPtr key(EVP_EC_gen("P-256"));
  Check(key != nullptr, "key generation");
  CertPtr cert(X509_new());
  Check(cert != nullptr, "certificate");
  Check(X509_set_version(cert.get(), 2) == 1, "version");
  unsigned char serial[16];
  Check(RAND_bytes(serial, sizeof serial) == 1, "serial");
  serial[0] &= 0x7F;
  BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
  Check(number && BN_to_ASN1_INTEGER(number, X509_get_serialNumber(cert.get())), "serial");
  BN_free(number);
  Check(X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600) != nullptr, "validity");
  Check(X509_gmtime_adj(X509_getm_notAfter(cert.get()), 365L * 24 * 3600) != nullptr, "validity");
  X509_NAME* name = X509_get_subject_name(cert.get());
  Check(X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("pinecone-local"),
                                   -1, -1, 0) == 1,
        "subject");
  Check(X509_set_issuer_name(cert.get(), name) == 1, "issuer");
  Check(X509_set_pubkey(cert.get(), key.get()) == 1, "public key");
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, cert.get(), cert.get(), nullptr, nullptr, 0);
  ExtPtr names(X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name,
                                   "DNS:localhost,IP:127.0.0.1,DNS:*.pinecone.io"));
  Check(names && X509_add_ext(cert.get(), names.get(), -1) == 1, "subject alternative names");
  Check(X509_sign(cert.get(), key.get(), EVP_sha256()) > 0, "signature");

  BioPtr cert_bio(BIO_new(BIO_s_mem()));
  BioPtr key_bio(BIO_new(BIO_s_mem()));
  Check(cert_bio && PEM_write_bio_X509(cert_bio.get(), cert.get()) == 1, "certificate PEM");
  Check(key_bio && PEM_write_bio_PrivateKey(key_bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1,
        "key PEM");
  return {BioText(cert_bio.get()), BioText(key_bio.get())};
}

}  // namespace zor::pinecone_local
