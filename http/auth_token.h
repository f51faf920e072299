#pragma once
// Token sources for the HTTP client's "Authorization" line and the options
// that refer to them.
#include <functional>
#include <memory>
#include <string>

#include "base/persistent.h"
#include "http/http_component.h"

namespace zor {

using TzorOnAuthToken = std::function<void(TzorComponent_Base* Sender, const std::string& TokenType,
                                           const std::string& Token, const std::string& Data)>;
using TzorOnAuthTokenError = std::function<void(TzorComponent_Base* Sender, const std::string& Error,
                                                const std::string& ErrorDescription, const std::string& Data)>;

// Common base of token sources (JWT signing, OAuth2): started by a client
// that needs a token, they answer through OnAuthToken or OnAuthTokenError,
// on the starting thread or later on one of their own.
class TzorHTTPComponentClientAuthToken_Base : public TzorHTTPComponentClient_Base {
 public:
  using TzorHTTPComponentClient_Base::TzorHTTPComponentClient_Base;

  TzorOnAuthToken OnAuthToken;
  TzorOnAuthTokenError OnAuthTokenError;

  virtual void Start() = 0;
  // Seconds after which a token of this source must be obtained anew.
  virtual int RefreshTokenAfter() const { return 0; }

  // Expires when the source is destroyed, so that references can tell.
  std::weak_ptr<void> Lifetime() const { return lifetime_; }

 protected:
  virtual void DoAuthToken(const std::string& aTokenType, const std::string& aToken, const std::string& aData);
  virtual void DoAuthTokenError(const std::string& aError, const std::string& aErrorDescription,
                                const std::string& aData);

 private:
  std::shared_ptr<void> lifetime_ = std::make_shared<char>(0);
};

// Which token sources a client uses. It refers to them and never owns them;
// a source that is destroyed reads as none.
class TzorHTTPAuthentication_Token : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorHTTPAuthentication_Token"; }
  // Copies the references and ReadTimeout.
  void Assign(const TPersistent& source) override;

  TzorHTTPComponentClientAuthToken_Base* OAuth() const { return oauth_.Get(); }
  void SetOAuth(TzorHTTPComponentClientAuthToken_Base* source) { oauth_.Set(source); }
  TzorHTTPComponentClientAuthToken_Base* JWT() const { return jwt_.Get(); }
  void SetJWT(TzorHTTPComponentClientAuthToken_Base* source) { jwt_.Set(source); }
  int ReadTimeout() const { return read_timeout_; }
  void SetReadTimeout(int milliseconds) { read_timeout_ = milliseconds; }

 private:
  class SourceRef {
   public:
    TzorHTTPComponentClientAuthToken_Base* Get() const { return lifetime_.expired() ? nullptr : source_; }
    void Set(TzorHTTPComponentClientAuthToken_Base* source) {
      source_ = source;
      lifetime_ = source ? source->Lifetime() : std::weak_ptr<void>();
    }

   private:
    TzorHTTPComponentClientAuthToken_Base* source_ = nullptr;
    std::weak_ptr<void> lifetime_;
  };

  SourceRef oauth_;
  SourceRef jwt_;
  int read_timeout_ = 60000;
};

// The token source options of the HTTP client.
class TzorIdHTTPAuthentication_Options : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorIdHTTPAuthentication_Options"; }
  void Assign(const TPersistent& source) override;

  TzorHTTPAuthentication_Token& Token() { return token_; }
  const TzorHTTPAuthentication_Token& Token() const { return token_; }
  void SetToken(const TzorHTTPAuthentication_Token& token) { token_.Assign(token); }

 private:
  TzorHTTPAuthentication_Token token_;
};

}  // namespace zor
