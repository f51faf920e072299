#include "http/auth_token.h"

namespace zor {

void TzorHTTPComponentClientAuthToken_Base::DoAuthToken(const std::string& aTokenType, const std::string& aToken,
                                                        const std::string& aData) {
  if (OnAuthToken) OnAuthToken(this, aTokenType, aToken, aData);
}

void TzorHTTPComponentClientAuthToken_Base::DoAuthTokenError(const std::string& aError,
                                                             const std::string& aErrorDescription,
                                                             const std::string& aData) {
  if (OnAuthTokenError) OnAuthTokenError(this, aError, aErrorDescription, aData);
}

void TzorHTTPAuthentication_Token::Assign(const TPersistent& source) {
  if (auto* token = dynamic_cast<const TzorHTTPAuthentication_Token*>(&source)) {
    oauth_ = token->oauth_;
    jwt_ = token->jwt_;
    read_timeout_ = token->read_timeout_;
    return;
  }
  TPersistent::Assign(source);
}

void TzorIdHTTPAuthentication_Options::Assign(const TPersistent& source) {
  if (auto* options = dynamic_cast<const TzorIdHTTPAuthentication_Options*>(&source)) {
    token_.Assign(options->token_);
    return;
  }
  TPersistent::Assign(source);
}

}  // namespace zor
