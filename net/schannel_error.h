#pragma once
// The failure of the platform TLS provider: its text, and the last status of
// the server's certificate chain (0 when no chain was checked).
#include <cstdint>

#include "net/net_errors.h"

namespace zor {

// A failure of the platform TLS provider, with its certificate status bits.
class SChannelError : public EzorTLSError {
 public:
  SChannelError(const std::string& message, uint32_t cert_status) : EzorTLSError(message), cert_status_(cert_status) {}
  uint32_t CertStatus() const { return cert_status_; }
  const char* ClassName() const override { return "SChannelError"; }

 private:
  uint32_t cert_status_;
};

}  // namespace zor
