#include "net/cert_store.h"

#include <gnutls/pkcs12.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "base/files.h"
#include "net/cert_context_impl.h"

namespace zor {

namespace {

constexpr const char* kClientAuth = "1.3.6.1.5.5.7.3.2";
constexpr const char* kAnyUsage = "2.5.29.37.0";

gnutls_datum_t Datum(std::string_view bytes) {
  return {reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data())), static_cast<unsigned>(bytes.size())};
}

std::string DERof(gnutls_x509_crt_t crt) {
  gnutls_datum_t out{};
  if (gnutls_x509_crt_export2(crt, GNUTLS_X509_FMT_DER, &out) < 0) return {};
  std::string der(reinterpret_cast<const char*>(out.data), out.size);
  gnutls_free(out.data);
  return der;
}

// Takes over the chain (certificate first) and the key (may be null).
std::shared_ptr<const TzorCertContext> MakeContext(std::vector<gnutls_x509_crt_t> chain, gnutls_x509_privkey_t key) {
  auto impl = std::make_unique<TzorCertContext::Impl>();
  impl->chain = std::move(chain);
  bool ok = !impl->chain.empty();
  for (auto* crt : impl->chain) {
    if (!ok) break;
    gnutls_pcert_st pcert;
    ok = gnutls_pcert_import_x509(&pcert, crt, 0) >= 0;
    if (ok) impl->pcerts.push_back(pcert);
  }
  if (ok && key) {
    ok = gnutls_privkey_init(&impl->key) >= 0 &&
         gnutls_privkey_import_x509(impl->key, key, GNUTLS_PRIVKEY_IMPORT_COPY) >= 0;
  }
  if (key) gnutls_x509_privkey_deinit(key);
  if (!ok) return nullptr;
  unsigned char digest[20];
  size_t size = sizeof digest;
  if (gnutls_x509_crt_get_fingerprint(impl->chain[0], GNUTLS_DIG_SHA1, digest, &size) < 0) return nullptr;
  impl->sha1.assign(reinterpret_cast<const char*>(digest), size);
  impl->der = DERof(impl->chain[0]);
  return std::make_shared<const TzorCertContext>(std::move(impl));
}

TzorCertList ReadPEM(std::string_view bytes) {
  TzorCertList out;
  gnutls_datum_t data = Datum(bytes);
  gnutls_x509_crt_t* certs = nullptr;
  unsigned count = 0;
  if (gnutls_x509_crt_list_import2(&certs, &count, &data, GNUTLS_X509_FMT_PEM, 0) < 0) return out;
  std::vector<gnutls_x509_crt_t> all(certs, certs + count);
  gnutls_free(certs);
  gnutls_x509_privkey_t key = nullptr;
  const bool has_key = bytes.find("PRIVATE KEY-----") != std::string_view::npos &&
                       gnutls_x509_privkey_init(&key) >= 0 &&
                       gnutls_x509_privkey_import2(key, &data, GNUTLS_X509_FMT_PEM, nullptr, 0) >= 0;
  if (has_key) {
    if (auto context = MakeContext(std::move(all), key)) out.push_back(context);
    return out;
  }
  if (key) gnutls_x509_privkey_deinit(key);
  for (auto* crt : all)
    if (auto context = MakeContext({crt}, nullptr)) out.push_back(context);
  return out;
}

std::mutex roots_lock;
std::string user_root, machine_root;

std::string UserRoot() {
  std::lock_guard guard(roots_lock);
  if (!user_root.empty()) return user_root;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && *config) return std::string(config) + "/zor/certificates";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.config/zor/certificates";
}

std::string MachineRoot() {
  std::lock_guard guard(roots_lock);
  return machine_root.empty() ? "/etc/zor/certificates" : machine_root;
}

}  // namespace

TzorCertContext::TzorCertContext(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
TzorCertContext::~TzorCertContext() = default;

const std::string& TzorCertContext::SHA1() const { return impl_->sha1; }
const std::string& TzorCertContext::DER() const { return impl_->der; }
bool TzorCertContext::HasKey() const { return impl_->key != nullptr; }

std::string TzorCertContext::SubjectText() const {
  gnutls_datum_t dn{};
  if (gnutls_x509_crt_get_dn3(impl_->chain[0], &dn, 0) < 0) return {};
  std::string text(reinterpret_cast<const char*>(dn.data), dn.size);
  gnutls_free(dn.data);
  return text;
}

bool TzorCertContext::UsableForClientAuth() const {
  bool any = false;
  for (unsigned i = 0;; ++i) {
    char oid[128];
    size_t size = sizeof oid;
    const int r = gnutls_x509_crt_get_key_purpose_oid(impl_->chain[0], i, oid, &size, nullptr);
    if (r == GNUTLS_E_REQUESTED_DATA_NOT_AVAILABLE) return !any;
    if (r < 0) return false;
    any = true;
    if (std::string_view(oid) == kClientAuth || std::string_view(oid) == kAnyUsage) return true;
  }
}

bool TzorCertContext::IssuedBy(std::string_view issuer_dn) const {
  for (auto* crt : impl_->chain) {
    gnutls_datum_t dn{};
    if (gnutls_x509_crt_get_raw_issuer_dn(crt, &dn) < 0) continue;
    const bool same = std::string_view(reinterpret_cast<const char*>(dn.data), dn.size) == issuer_dn;
    gnutls_free(dn.data);
    if (same) return true;
  }
  return false;
}

std::shared_ptr<const TzorCertContext> ImportPFX(std::string_view bytes, const char* password) {
  gnutls_pkcs12_t p12 = nullptr;
  if (gnutls_pkcs12_init(&p12) < 0) return nullptr;
  gnutls_datum_t data = Datum(bytes);
  gnutls_x509_privkey_t key = nullptr;
  gnutls_x509_crt_t* chain = nullptr;
  unsigned chain_length = 0;
  std::shared_ptr<const TzorCertContext> context;
  if (gnutls_pkcs12_import(p12, &data, GNUTLS_X509_FMT_DER, 0) >= 0 &&
      gnutls_pkcs12_simple_parse(p12, password, &key, &chain, &chain_length, nullptr, nullptr, nullptr,
                                 GNUTLS_PKCS12_SP_INCLUDE_SELF_SIGNED) >= 0) {
    std::vector<gnutls_x509_crt_t> list(chain, chain + chain_length);
    gnutls_free(chain);
    context = MakeContext(std::move(list), key);
  }
  gnutls_pkcs12_deinit(p12);
  return context;
}

TzorCertList ReadStoreFile(std::string_view bytes) {
  if (bytes.find("-----BEGIN ") != std::string_view::npos) return ReadPEM(bytes);
  if (auto context = ImportPFX(bytes, nullptr)) return {context};
  if (auto context = ImportPFX(bytes, "")) return {context};
  return {};
}

std::string CertStoreFolder(TzorSChannelCertStoreName name, TzorSChannelCertStorePath place) {
  static const char* const kNames[] = {"MY", "Root", "Trust", "CA"};
  return (place == scspStoreLocalMachine ? MachineRoot() : UserRoot()) + "/" + kNames[name];
}

void SetCertStoreRoots(const std::string& current_user, const std::string& local_machine) {
  std::lock_guard guard(roots_lock);
  user_root = current_user;
  machine_root = local_machine;
}

std::unique_ptr<TzorCertStore> TzorCertStore::Open(TzorSChannelCertStoreName name, TzorSChannelCertStorePath place) {
  namespace fs = std::filesystem;
  const fs::path folder = CertStoreFolder(name, place);
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return nullptr;
  auto store = std::unique_ptr<TzorCertStore>(new TzorCertStore);
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (entry.is_regular_file(ec)) files.push_back(entry.path());
  std::sort(files.begin(), files.end());  // a stable order for "the first that fits"
  for (const auto& file : files) {
    std::string bytes;
    if (!ReadFileBytes(file, bytes)) continue;
    for (auto& context : ReadStoreFile(bytes)) store->certificates_.push_back(std::move(context));
  }
  return store;
}

std::shared_ptr<const TzorCertContext> TzorCertStore::FindBySHA1(std::string_view sha1) const {
  for (const auto& context : certificates_)
    if (context->SHA1() == sha1) return context;
  return nullptr;
}

}  // namespace zor
