#pragma once
// Options of the server-side JWT validation: which algorithm families are
// accepted with which keys, and which time claims are checked.
#include "auth/key_lines.h"
#include "base/persistent.h"

#include <string>

namespace zor {

// Base of the options of one accepted algorithm family: whether it is enabled and its key.
class TzorHTTP_JWT_Server_Algorithm_Options : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorHTTP_JWT_Server_Algorithm_Options"; }
  // From an object of the same class: Enabled and the key.
  void Assign(const TPersistent& source) override;

  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool aValue) { FEnabled = aValue; }
  // The key as the verifiers take it: the secret, or the PEM text.
  virtual std::string KeyText() const = 0;

 protected:
  virtual void AssignKey(const TzorHTTP_JWT_Server_Algorithm_Options& source) = 0;

 private:
  bool FEnabled = true;
};

// The shared secret that HS tokens are checked with.
class TzorHTTP_JWT_Server_HS_Options : public TzorHTTP_JWT_Server_Algorithm_Options {
 public:
  const char* ClassName() const override { return "TzorHTTP_JWT_Server_HS_Options"; }
  const std::string& Secret() const { return FSecret; }
  void SetSecret(std::string aValue) { FSecret = std::move(aValue); }
  std::string KeyText() const override { return FSecret; }

 protected:
  void AssignKey(const TzorHTTP_JWT_Server_Algorithm_Options& source) override;

 private:
  std::string FSecret;
};

// A PEM public key held as lines (RS and ES).
class TzorHTTP_JWT_Server_PublicKey_Options : public TzorHTTP_JWT_Server_Algorithm_Options {
 public:
  const TzorKeyLines& PublicKey() const { return FPublicKey; }
  void SetPublicKey(const TzorKeyLines& aLines) { FPublicKey = aLines; }
  void SetPublicKeyText(std::string_view aText) { FPublicKey = SplitKeyLines(aText); }
  // The lines, each followed by a line break.
  std::string KeyText() const override { return JoinKeyLines(FPublicKey); }

 protected:
  void AssignKey(const TzorHTTP_JWT_Server_Algorithm_Options& source) override;

 private:
  TzorKeyLines FPublicKey;
};

// The public key that RS tokens are checked with.
class TzorHTTP_JWT_Server_RS_Options : public TzorHTTP_JWT_Server_PublicKey_Options {
 public:
  const char* ClassName() const override { return "TzorHTTP_JWT_Server_RS_Options"; }
};

// The public key that ES tokens are checked with.
class TzorHTTP_JWT_Server_ES_Options : public TzorHTTP_JWT_Server_PublicKey_Options {
 public:
  const char* ClassName() const override { return "TzorHTTP_JWT_Server_ES_Options"; }
};

// The accepted algorithm families with their keys.
class TzorHTTP_JWT_Server_Algorithms_Options : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorHTTP_JWT_Server_Algorithms_Options"; }
  // Copies ES, HS, RS.
  void Assign(const TPersistent& source) override;

  TzorHTTP_JWT_Server_ES_Options& ES() { return FES; }
  const TzorHTTP_JWT_Server_ES_Options& ES() const { return FES; }
  void SetES(const TzorHTTP_JWT_Server_ES_Options& aValue) { FES.Assign(aValue); }
  TzorHTTP_JWT_Server_HS_Options& HS() { return FHS; }
  const TzorHTTP_JWT_Server_HS_Options& HS() const { return FHS; }
  void SetHS(const TzorHTTP_JWT_Server_HS_Options& aValue) { FHS.Assign(aValue); }
  TzorHTTP_JWT_Server_RS_Options& RS() { return FRS; }
  const TzorHTTP_JWT_Server_RS_Options& RS() const { return FRS; }
  void SetRS(const TzorHTTP_JWT_Server_RS_Options& aValue) { FRS.Assign(aValue); }

 private:
  TzorHTTP_JWT_Server_ES_Options FES;
  TzorHTTP_JWT_Server_HS_Options FHS;
  TzorHTTP_JWT_Server_RS_Options FRS;
};

// Which time claims the server-side JWT check enforces.
class TzorHTTP_JWT_Server_Validations_Options : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorHTTP_JWT_Server_Validations_Options"; }
  void Assign(const TPersistent& source) override;

  bool Expiration() const { return FExpiration; }
  void SetExpiration(bool aValue) { FExpiration = aValue; }
  bool Issued() const { return FIssued; }
  void SetIssued(bool aValue) { FIssued = aValue; }
  bool NotBefore() const { return FNotBefore; }
  void SetNotBefore(bool aValue) { FNotBefore = aValue; }

 private:
  bool FExpiration = true;
  bool FIssued = true;
  bool FNotBefore = true;
};

// Options of the server-side JWT check.
class TzorHTTP_JWT_Server_Options : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorHTTP_JWT_Server_Options"; }
  // Copies Validations, then Algorithms.
  void Assign(const TPersistent& source) override;

  TzorHTTP_JWT_Server_Algorithms_Options& Algorithms() { return FAlgorithms; }
  const TzorHTTP_JWT_Server_Algorithms_Options& Algorithms() const { return FAlgorithms; }
  void SetAlgorithms(const TzorHTTP_JWT_Server_Algorithms_Options& aValue) { FAlgorithms.Assign(aValue); }
  TzorHTTP_JWT_Server_Validations_Options& Validations() { return FValidations; }
  const TzorHTTP_JWT_Server_Validations_Options& Validations() const { return FValidations; }
  void SetValidations(const TzorHTTP_JWT_Server_Validations_Options& aValue) { FValidations.Assign(aValue); }

 private:
  TzorHTTP_JWT_Server_Algorithms_Options FAlgorithms;
  TzorHTTP_JWT_Server_Validations_Options FValidations;
};

}  // namespace zor
