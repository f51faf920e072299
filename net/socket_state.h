#pragma once
// What a connection keeps of its socket whatever drives it (the blocking
// client connection or the server's event-driven one): the input buffer the
// reader fills, the write gate that orders writers, the intercepts, the TLS
// engine, the two ends and the byte counts. Only net/ sources include this
// (Asio).
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "base/byte_count.h"
#include "net/input_buffer.h"
#include "net/intercept.h"
#include "net/socket_endpoints.h"
#include "net/tls_engine.h"
#include "net/write_gate.h"

namespace zor {

struct TzorSocketState {
  // `send` puts bytes on the wire (under the gate's lock); writes collected
  // beyond `write_limit` are sent before more are collected.
  TzorSocketState(TzorWriteGate::Sender send, size_t write_limit) : writes(std::move(send), write_limit) {}

  // Bytes to the intercepts, in the order they were added; the pause they ask
  // for. Inline, as most sockets have none.
  TzorConnectionIntercept::Pause ShowReceived(std::string_view bytes) const {
    return intercepts.empty() ? TzorConnectionIntercept::Pause{}
                              : ShowIntercepts(bytes, &TzorConnectionIntercept::Received);
  }
  TzorConnectionIntercept::Pause ShowSent(std::string_view bytes) const {
    return intercepts.empty() ? TzorConnectionIntercept::Pause{}
                              : ShowIntercepts(bytes, &TzorConnectionIntercept::Sent);
  }
  // The bytes as they go on the wire: without TLS `bytes` itself, with TLS
  // the records the engine made of them, in `sealed`.
  std::string_view Seal(std::string_view bytes, std::string& sealed) {
    return engine ? SealWithEngine(bytes, sealed) : bytes;
  }

  TzorInputBuffer input;
  TzorWriteGate writes;
  TzorSocketEndpoints ends;
  // Added to by the one reader and under the write gate's lock.
  TzorByteCount received, sent;
  std::vector<std::shared_ptr<TzorConnectionIntercept>> intercepts;
  // The engine's state is shared by the reader and the writers.
  mutable std::mutex engine_lock;
  std::unique_ptr<TzorTLSEngine> engine;

 private:
  TzorConnectionIntercept::Pause ShowIntercepts(
      std::string_view bytes, TzorConnectionIntercept::Pause (TzorConnectionIntercept::*show)(std::string_view)) const;
  std::string_view SealWithEngine(std::string_view bytes, std::string& sealed);
};

}  // namespace zor
