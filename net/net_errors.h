#pragma once
// Failures of the network layer. The "silent" branch marks an orderly end of a
// connection (the peer closed, or we closed on request), which callers usually
// treat as the end of a conversation rather than as an error to report.
#include "base/exceptions.h"

namespace zor {

// A failed socket operation, with the errno-style code of the call.
class EzorSocketError : public Exception {
 public:
  explicit EzorSocketError(const std::string& message, int code = 0) : Exception(message), code_(code) {}
  // errno-style code of the failing call, 0 when none applies.
  int Code() const { return code_; }
  const char* ClassName() const override { return "EzorSocketError"; }

 private:
  int code_;
};

// A connection was not established within its connect time-out.
class EzorConnectTimeout : public EzorSocketError {
 public:
  using EzorSocketError::EzorSocketError;
  const char* ClassName() const override { return "EzorConnectTimeout"; }
};

// No bytes arrived within the read time-out.
class EzorReadTimeout : public EzorSocketError {
 public:
  using EzorSocketError::EzorSocketError;
  const char* ClassName() const override { return "EzorReadTimeout"; }
};

// Bytes could not be sent within the write time-out.
class EzorWriteTimeout : public EzorSocketError {
 public:
  using EzorSocketError::EzorSocketError;
  const char* ClassName() const override { return "EzorWriteTimeout"; }
};

// Bound address or port range could not be used.
class EzorBindError : public EzorSocketError {
 public:
  using EzorSocketError::EzorSocketError;
  const char* ClassName() const override { return "EzorBindError"; }
};

// A proxy refused or broke the tunnel; the message names the proxy's answer.
class EzorProxyError : public EzorSocketError {
 public:
  using EzorSocketError::EzorSocketError;
  const char* ClassName() const override { return "EzorProxyError"; }
};

// Handshake, verification or record-layer failure of a TLS engine.
class EzorTLSError : public EzorSocketError {
 public:
  using EzorSocketError::EzorSocketError;
  const char* ClassName() const override { return "EzorTLSError"; }
};

// Base of endings that are not failures, such as a connection the peer closed.
class EzorSilentException : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EzorSilentException"; }
};

// The peer closed the connection and every buffered byte has been read.
class EzorConnClosedGracefully : public EzorSilentException {
 public:
  EzorConnClosedGracefully() : EzorSilentException("Connection closed by the peer.") {}
  const char* ClassName() const override { return "EzorConnClosedGracefully"; }
};

// An operation on a connection that is not (or no longer) open.
class EzorClosedSocket : public EzorSocketError {
 public:
  EzorClosedSocket() : EzorSocketError("Not connected.") {}
  const char* ClassName() const override { return "EzorClosedSocket"; }
};

}  // namespace zor
