#pragma once
// The DATA waiting to be sent on a connection, under the peer's connection
// window and each stream's window. Streams take turns a frame at a time, so a
// stream whose window is shut never holds back the others; within a stream
// the order is kept. Not locked: the session calls it under its write lock.
#include "base/bytes.h"
#include "http2/byte_buffer.h"

#include <cstdint>
#include <deque>
#include <list>
#include <span>
#include <unordered_map>
#include <vector>

namespace zor {

// The DATA of a connection's streams waiting for window, streams taking turns.
class TzorHTTP2_Write_Data_Frames {
 public:
  // A stream this side may send on, with the peer's window for it.
  void OpenStream(int32_t streamIdentifier);
  bool HasStream(int32_t streamIdentifier) const { return FStreams.contains(streamIdentifier); }
  // Drops the stream and whatever of it is still queued.
  void Purge(int32_t streamIdentifier);

  // Content to send; END_STREAM goes on the frame that carries its last
  // octet. As much as the windows allow goes to `out` at once when nothing of
  // the stream waits; the rest is queued (copied).
  void AddFrame(int32_t streamIdentifier, std::span<const uint8_t> content, bool endStream, TzorByteBuffer& out,
                std::vector<int32_t>& finished);

  // Appends every DATA frame the windows allow to `out`; the streams whose
  // END_STREAM went out are appended to `finished`.
  void SendFrames(TzorByteBuffer& out, std::vector<int32_t>& finished);

  // A WINDOW_UPDATE from the peer. Raises FLOW_CONTROL_ERROR when a window
  // passes 2^31-1 (on the connection: GOAWAY; on a stream: RST_STREAM).
  // Returns false when the stream is unknown here.
  bool UpdateWindowSize(int32_t streamIdentifier, int32_t increment);
  // The peer's INITIAL_WINDOW_SIZE: every stream's window moves by the
  // difference to the previous value (RFC 7540 section 6.9.2).
  void SetInitialWindowSize(uint32_t size);
  uint32_t InitialWindowSize() const { return FInitialWindowSize; }
  int64_t ConnectionWindowSize() const { return FConnectionWindowSize; }
  // The stream's window, 0 when unknown.
  int64_t WindowSize(int32_t streamIdentifier) const;
  // Octets queued on the stream and not sent yet.
  size_t Pending(int32_t streamIdentifier) const;

 private:
  struct Stream {
    int64_t window = 0;
    std::list<TBytes> chunks;  // a list: nothing allocated until a chunk waits
    size_t offset = 0;  // into the first chunk
    size_t pending = 0;
    bool endStream = false;
    bool ready = false;  // listed in FReady
  };
  void MakeReady(int32_t streamIdentifier, Stream& stream);
  // One frame of the stream; false when it cannot send now.
  bool SendOne(int32_t streamIdentifier, Stream& stream, TzorByteBuffer& out, std::vector<int32_t>& finished);
  // How much of `pending` octets one frame may carry now.
  size_t FrameAllowance(const Stream& stream, size_t pending) const;

  using Streams = std::unordered_map<int32_t, Stream>;
  // Ends the stream's entry; its node is kept for a stream to come.
  void Release(Streams::iterator stream);

  Streams FStreams;
  std::vector<Streams::node_type> FSpareNodes;
  std::deque<int32_t> FReady;
  uint32_t FInitialWindowSize = 65535;
  int64_t FConnectionWindowSize = 65535;
};

}  // namespace zor
