#include "http2/send_queue.h"

#include "http2/frame_base.h"
#include "http2/http2_exception.h"

#include <algorithm>

namespace zor {

namespace {

constexpr const char* kWindowOverflow = "WINDOW UPDATE FRAME: Window Size Increment has exceed 2^30.";
// Nodes of ended streams kept for reuse.
constexpr size_t kSpareNodes = 32;

}  // namespace

void TzorHTTP2_Write_Data_Frames::OpenStream(int32_t streamIdentifier) {
  if (!FSpareNodes.empty() && !FStreams.contains(streamIdentifier)) {
    Streams::node_type node = std::move(FSpareNodes.back());
    FSpareNodes.pop_back();
    node.key() = streamIdentifier;
    FStreams.insert(std::move(node));
  }
  FStreams.try_emplace(streamIdentifier).first->second.window = FInitialWindowSize;
}

void TzorHTTP2_Write_Data_Frames::Purge(int32_t streamIdentifier) {
  if (const auto found = FStreams.find(streamIdentifier); found != FStreams.end()) Release(found);
  // A stale entry in FReady is skipped when its turn comes.
}

void TzorHTTP2_Write_Data_Frames::Release(Streams::iterator stream) {
  if (FSpareNodes.size() >= kSpareNodes) {
    FStreams.erase(stream);
    return;
  }
  FSpareNodes.push_back(FStreams.extract(stream));
  FSpareNodes.back().mapped() = Stream();
}

void TzorHTTP2_Write_Data_Frames::AddFrame(int32_t streamIdentifier, std::span<const uint8_t> content, bool endStream,
                                           TzorByteBuffer& out, std::vector<int32_t>& finished) {
  const auto found = FStreams.find(streamIdentifier);
  if (found == FStreams.end() || found->second.endStream) return;  // closed or already ended
  Stream& stream = found->second;
  // Straight from the caller's octets while the stream has nothing waiting.
  while (stream.pending == 0 && (!content.empty() || endStream)) {
    const size_t length = FrameAllowance(stream, content.size());
    if (length == 0 && !content.empty()) break;
    const bool last = length == content.size() && endStream;
    TzorHTTP2_Frame_Base::AppendFrameHeader(out, static_cast<uint32_t>(length), h2ftDATA,
                                            last ? h2flags::END_STREAM : 0, streamIdentifier);
    out.Append(content.data(), length);
    stream.window -= static_cast<int64_t>(length);
    FConnectionWindowSize -= static_cast<int64_t>(length);
    content = content.subspan(length);
    if (last) {
      finished.push_back(streamIdentifier);
      Release(found);
      return;
    }
  }
  stream.pending += content.size();
  if (!content.empty()) stream.chunks.emplace_back(content.begin(), content.end());
  stream.endStream = endStream;
  MakeReady(streamIdentifier, stream);
}

size_t TzorHTTP2_Write_Data_Frames::FrameAllowance(const Stream& stream, size_t pending) const {
  const int64_t allowed = std::min({FConnectionWindowSize, stream.window, int64_t{h2DefaultMaxFrameSize}});
  return static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(allowed, 0), static_cast<int64_t>(pending)));
}

void TzorHTTP2_Write_Data_Frames::MakeReady(int32_t streamIdentifier, Stream& stream) {
  if (stream.ready) return;
  stream.ready = true;
  FReady.push_back(streamIdentifier);
}

void TzorHTTP2_Write_Data_Frames::SendFrames(TzorByteBuffer& out, std::vector<int32_t>& finished) {
  // Each stream sends one frame per turn and goes to the back while it can
  // go on; one that cannot leaves the list until a window opens for it.
  while (!FReady.empty()) {
    const int32_t identifier = FReady.front();
    FReady.pop_front();
    const auto found = FStreams.find(identifier);
    if (found == FStreams.end()) continue;  // purged
    Stream& stream = found->second;
    stream.ready = false;
    if (SendOne(identifier, stream, out, finished)) MakeReady(identifier, stream);
  }
}

bool TzorHTTP2_Write_Data_Frames::SendOne(int32_t identifier, Stream& stream, TzorByteBuffer& out,
                                          std::vector<int32_t>& finished) {
  // An empty END_STREAM frame needs no window.
  const size_t length = FrameAllowance(stream, stream.pending);
  if (stream.pending > 0 && length == 0) return false;
  if (stream.pending == 0 && !stream.endStream) return false;
  const bool last = length == stream.pending && stream.endStream;
  TzorHTTP2_Frame_Base::AppendFrameHeader(out, static_cast<uint32_t>(length), h2ftDATA,
                                          last ? h2flags::END_STREAM : 0, identifier);
  uint8_t* to = out.Reserve(length);
  for (size_t left = length; left > 0;) {
    TBytes& chunk = stream.chunks.front();
    const size_t take = std::min(left, chunk.size() - stream.offset);
    std::copy_n(chunk.data() + stream.offset, take, to);
    to += take;
    left -= take;
    stream.offset += take;
    if (stream.offset == chunk.size()) {
      stream.chunks.pop_front();
      stream.offset = 0;
    }
  }
  out.Commit(length);
  stream.pending -= length;
  stream.window -= static_cast<int64_t>(length);
  FConnectionWindowSize -= static_cast<int64_t>(length);
  if (last) {
    finished.push_back(identifier);
    Purge(identifier);
    return false;
  }
  return stream.pending > 0 && stream.window > 0 && FConnectionWindowSize > 0;
}

bool TzorHTTP2_Write_Data_Frames::UpdateWindowSize(int32_t streamIdentifier, int32_t increment) {
  if (streamIdentifier == 0) {
    if (FConnectionWindowSize + increment > h2MaxWindowSize)
      throw TzorHTTP2Exception(kWindowOverflow, h2erFLOW_CONTROL_ERROR);
    FConnectionWindowSize += increment;
    // Every stream with something to send gets its turn again.
    for (auto& [identifier, stream] : FStreams)
      if (stream.pending > 0 || stream.endStream) MakeReady(identifier, stream);
    return true;
  }
  const auto found = FStreams.find(streamIdentifier);
  if (found == FStreams.end()) return false;
  Stream& stream = found->second;
  if (stream.window + increment > h2MaxWindowSize)
    throw TzorHTTP2Exception(kWindowOverflow, h2erFLOW_CONTROL_ERROR, h2errRST_STREAM, streamIdentifier);
  stream.window += increment;
  if (stream.pending > 0 || stream.endStream) MakeReady(streamIdentifier, stream);
  return true;
}

void TzorHTTP2_Write_Data_Frames::SetInitialWindowSize(uint32_t size) {
  const int64_t delta = int64_t{size} - FInitialWindowSize;
  for (auto& [identifier, stream] : FStreams)
    if (stream.window + delta > h2MaxWindowSize) throw TzorHTTP2Exception(kWindowOverflow, h2erFLOW_CONTROL_ERROR);
  FInitialWindowSize = size;
  for (auto& [identifier, stream] : FStreams) {
    stream.window += delta;
    if (stream.pending > 0 || stream.endStream) MakeReady(identifier, stream);
  }
}

int64_t TzorHTTP2_Write_Data_Frames::WindowSize(int32_t streamIdentifier) const {
  const auto found = FStreams.find(streamIdentifier);
  return found == FStreams.end() ? 0 : found->second.window;
}

size_t TzorHTTP2_Write_Data_Frames::Pending(int32_t streamIdentifier) const {
  const auto found = FStreams.find(streamIdentifier);
  return found == FStreams.end() ? 0 : found->second.pending;
}

}  // namespace zor
