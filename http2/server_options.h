#pragma once
// What a server connection announces and enforces, what it answers with, and
// the requests it pushes.
#include "base/bytes.h"
#include "base/persistent.h"
#include "http2/http2_constants.h"
#include "http2/settings_values.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zor {

// How a connection hands on request bodies.
enum Th2FragmentedData : uint8_t {
  h2fdOnlyBuffer,      // collected, delivered once complete
  h2fdOnlyFragmented,  // each DATA frame's content as it arrives
  h2fdAll,             // both
};

// The SETTINGS this side announces; the session enforces the same values.
class TzorHTTP2ServerSettings : public TPersistent, public TzorHTTP2SettingsValues {
 public:
  const char* ClassName() const override { return "TzorHTTP2ServerSettings"; }
  void Assign(const TPersistent& source) override;
};

// An answer to a request, as the HTTP layer describes it.
struct TzorHTTP2ResponseInfo {
  int ResponseCode = 200;
  std::vector<std::string> RawHeaders;  // "name: value"
  std::vector<std::string> Cookies;     // the text of each set-cookie line
  std::string ContentText;
  std::optional<TBytes> ContentStream;  // taken over when sent
  bool HasContent() const { return !ContentText.empty() || ContentStream.has_value(); }
};

// A request made by this side: a pushed one.
class TzorHTTP2Request : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorHTTP2Request"; }
  void Assign(const TPersistent& source) override;

  void AddCookie(const std::string& name, const std::string& value) { Cookies.push_back(name + "=" + value); }
  // The cookies joined by ";".
  std::string CookiesHeader() const;
  void ClearCookies() { Cookies.clear(); }

  std::string Accept = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
  std::string AcceptCharSet, AcceptEncoding, AcceptLanguage;
  bool BasicAuthentication = false;
  bool BearerAuthentication = false;
  std::string BearerToken, CacheControl, CharSet, Connection, ContentDisposition, ContentType, ContentVersion;
  std::string Date, ETag, Expires, From, Host, LastModified, Referer, TransferEncoding;
  std::string UserAgent = "Mozilla/5.0 (zorWebSockets 2023.6.0)";
  std::vector<std::string> CustomHeaders;
  std::string ID;
  Th2Methods Method = h2meGet;
  std::string Password, URL, Username;
  std::vector<std::string> Cookies;  // "name=value"
  bool Redirect = false;
};

// Paths and the links pushed with them.
class TzorHTTP2PushPromiseList {
 public:
  void AddPushPromise(const std::string& path, const std::vector<std::string>& links);
  void RemovePushPromise(const std::string& path);
  // The links of the path (exact match), nothing when it has none.
  const std::vector<std::string>* GetPushPromiseLinks(const std::string& path) const;

 private:
  std::vector<std::pair<std::string, std::vector<std::string>>> FItems;
};

}  // namespace zor
