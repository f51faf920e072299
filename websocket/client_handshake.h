#pragma once
// The client's opening handshake over a transport: the request written in
// one buffered write, the answer's header block read with a bound on its size
// and a deadline, byte by byte from the input buffer so that frames the
// server sends right behind it stay there for the frame reader.
#include <string>
#include <vector>

#include "net/deadline.h"
#include "net/transport.h"

namespace zor {

inline constexpr size_t kMaxHandshakeHeaderSize = 64 * 1024;

void WriteHandshakeRequest(TzorTransport& transport, const std::vector<std::string>& lines);

// The answer's header lines. Raises TzorWSException "Handshake Timeout" when
// `deadline` passes first, "Connection Closed Gracefully." when the peer
// closes first, and the header reader's error beyond `max_header_size`.
std::vector<std::string> ReadHandshakeResponseLines(TzorTransport& transport, const TzorDeadline& deadline,
                                                    size_t max_header_size = kMaxHandshakeHeaderSize);

}  // namespace zor
