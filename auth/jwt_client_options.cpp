#include "auth/jwt_client_options.h"

#include <typeinfo>

namespace zor {

void TzorHTTP_JWT_Client_HS_Options::Assign(const TPersistent& source) {
  if (const auto* other = dynamic_cast<const TzorHTTP_JWT_Client_HS_Options*>(&source)) {
    FSecret = other->FSecret;
    return;
  }
  TPersistent::Assign(source);
}

void TzorHTTP_JWT_Client_PrivateKey_Options::Assign(const TPersistent& source) {
  // RS and ES keys are not interchangeable: only the same class copies.
  if (typeid(source) == typeid(*this)) {
    FPrivateKey = static_cast<const TzorHTTP_JWT_Client_PrivateKey_Options&>(source).FPrivateKey;
    return;
  }
  TPersistent::Assign(source);
}

void TzorHTTP_JWT_Client_Algorithms_Options::Assign(const TPersistent& source) {
  if (const auto* other = dynamic_cast<const TzorHTTP_JWT_Client_Algorithms_Options*>(&source)) {
    FES.Assign(other->FES);
    FHS.Assign(other->FHS);
    FRS.Assign(other->FRS);
    return;
  }
  TPersistent::Assign(source);
}

void TzorHTTP_JWT_Client_Options::Assign(const TPersistent& source) {
  if (const auto* other = dynamic_cast<const TzorHTTP_JWT_Client_Options*>(&source)) {
    FHeader.Assign(other->FHeader);
    FPayload.Assign(other->FPayload);
    FAlgorithms.Assign(other->FAlgorithms);
    FRefreshTokenAfter = other->FRefreshTokenAfter;
    FOpenSSL_Options.Assign(other->FOpenSSL_Options);
    return;
  }
  TPersistent::Assign(source);
}

}  // namespace zor
