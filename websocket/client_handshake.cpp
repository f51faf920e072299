#include "websocket/client_handshake.h"

#include "websocket/handshake.h"

namespace zor {

void WriteHandshakeRequest(TzorTransport& transport, const std::vector<std::string>& lines) {
  TzorWriteBufferScope buffer(transport);
  transport.Write(HandshakeRequestText(lines));
  buffer.End();
}

std::vector<std::string> ReadHandshakeResponseLines(TzorTransport& transport, const TzorDeadline& deadline,
                                                    size_t max_header_size) {
  TzorWSHandshakeResponseReader reader;
  reader.SetMaxHeaderSize(max_header_size);
  std::string byte;
  while (!reader.Complete()) {
    if (transport.InputBufferSize() == 0) {
      if (!transport.WaitForData(deadline.PollMilliseconds())) {
        if (!transport.Connected()) throw TzorWSException("Connection Closed Gracefully.");
        if (deadline.Limited() && deadline.PollMilliseconds() == 0) throw TzorWSException("Handshake Timeout");
        continue;
      }
    }
    byte.clear();
    transport.ReadFromBuffer(byte, 1);
    reader.Read(reinterpret_cast<const uint8_t*>(byte.data()), byte.size());
  }
  return reader.Lines();
}

}  // namespace zor
