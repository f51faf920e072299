#include "auth/jwt_server_options.h"

#include <typeinfo>

namespace zor {

namespace {

// Options copy only from objects of their own class; anything else takes the
// generic path and its "Cannot assign" failure.
template <class T>
const T* SameClass(const T& dest, const TPersistent& source) {
  return typeid(source) == typeid(dest) ? static_cast<const T*>(&source) : nullptr;
}

}  // namespace

void TzorHTTP_JWT_Server_Algorithm_Options::Assign(const TPersistent& source) {
  if (const auto* other = SameClass(*this, source)) {
    FEnabled = other->FEnabled;
    AssignKey(*other);
    return;
  }
  TPersistent::Assign(source);
}

void TzorHTTP_JWT_Server_HS_Options::AssignKey(const TzorHTTP_JWT_Server_Algorithm_Options& source) {
  FSecret = static_cast<const TzorHTTP_JWT_Server_HS_Options&>(source).FSecret;
}

void TzorHTTP_JWT_Server_PublicKey_Options::AssignKey(const TzorHTTP_JWT_Server_Algorithm_Options& source) {
  FPublicKey = static_cast<const TzorHTTP_JWT_Server_PublicKey_Options&>(source).FPublicKey;
}

void TzorHTTP_JWT_Server_Algorithms_Options::Assign(const TPersistent& source) {
  if (const auto* other = SameClass(*this, source)) {
    FES.Assign(other->FES);
    FHS.Assign(other->FHS);
    FRS.Assign(other->FRS);
    return;
  }
  TPersistent::Assign(source);
}

void TzorHTTP_JWT_Server_Validations_Options::Assign(const TPersistent& source) {
  if (const auto* other = SameClass(*this, source)) {
    FExpiration = other->FExpiration;
    FIssued = other->FIssued;
    FNotBefore = other->FNotBefore;
    return;
  }
  TPersistent::Assign(source);
}

void TzorHTTP_JWT_Server_Options::Assign(const TPersistent& source) {
  if (const auto* other = SameClass(*this, source)) {
    FValidations.Assign(other->FValidations);
    FAlgorithms.Assign(other->FAlgorithms);
    return;
  }
  TPersistent::Assign(source);
}

}  // namespace zor
