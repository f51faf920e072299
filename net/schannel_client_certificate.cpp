#include "net/schannel_client_certificate.h"

#include "base/files.h"
#include "base/format.h"
#include "base/markup.h"

namespace zor {

namespace {

constexpr size_t kThumbprintLength = 40;

bool HexToBytes(const std::string& hex, std::string& bytes) {
  bytes.clear();
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    int value = 0;
    for (const char ch : {hex[i], hex[i + 1]}) {
      const int digit = HexDigitValue(ch);
      if (digit < 0) return false;
      value = value * 16 + digit;
    }
    bytes += static_cast<char>(value);
  }
  return bytes.size() * 2 == hex.size();
}

const char* StoreName(TzorSChannelCertStoreName name) {
  static const char* const kNames[] = {"MY", "Root", "Trust", "CA"};
  return kNames[name];
}

TzorClientCertificateChoice ByThumbprint(const TzorSChannelCertificate& c) {
  auto store = TzorCertStore::Open(c.CertStoreName(), c.CertStorePath());
  if (!store) return {nullptr, "Cannot Open Certificate Store."};
  if (c.CertHash().size() != kThumbprintLength)
    return {nullptr, Format("Invalid Certificate Hash Length, must be %d.", static_cast<int>(kThumbprintLength))};
  std::string digest;
  if (!HexToBytes(c.CertHash(), digest)) return {nullptr, "Error calling method CryptStringToBinary."};
  if (auto found = store->FindBySHA1(digest)) return {found, {}};
  return {nullptr,
          Format("Certificate not found in Store %s with Hash %s", StoreName(c.CertStoreName()), c.CertHash().c_str())};
}

TzorClientCertificateChoice FromFile(const TzorSChannelCertificate& c) {
  std::string bytes;
  std::shared_ptr<const TzorCertContext> imported;
  if (ReadFileBytes(c.CertFile(), bytes)) {
    imported = ImportPFX(bytes, c.CertFilePassword().c_str());
    // An empty password may stand for none at all.
    if (!imported && c.CertFilePassword().empty()) imported = ImportPFX(bytes, nullptr);
  }
  if (!imported) return {nullptr, "Cannot import the certificate."};
  return {imported, {}};
}

TzorClientCertificateChoice ByIssuer(const std::vector<std::string>& issuers) {
  auto store = TzorCertStore::Open(scsnMY, scspStoreCurrentUser);
  if (!store) return {};
  for (const auto& candidate : store->Certificates()) {
    if (!candidate->HasKey() || !candidate->UsableForClientAuth()) continue;
    bool issued = issuers.empty();
    for (const auto& issuer : issuers) issued = issued || candidate->IssuedBy(issuer);
    if (issued) return {candidate, {}};
  }
  return {};
}

}  // namespace

TzorClientCertificateChoice ChooseClientCertificate(const TzorSChannelCertificate& settings,
                                                    const std::function<std::vector<std::string>()>& issuers) {
  if (!settings.CertHash().empty()) return ByThumbprint(settings);
  if (!settings.CertFile().empty()) return FromFile(settings);
  return ByIssuer(issuers());
}

}  // namespace zor
