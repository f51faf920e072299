#include "websocket/frame_writer.h"

#include "base/format.h"
#include "base/utf16.h"
#include "websocket/extensions.h"


namespace zor {

namespace {

[[noreturn]] void ThrowWriteError(const std::exception& e) {
  throw TzorWSException(Format("Error writing message %s.", e.what()));
}

}  // namespace

void TzorWSFrameWriter::DoWriteText(std::string_view utf8, int size, TwsStreaming streaming) {
  if (specification_ == spHixie76) {
    WriteHixie76(utf8);
    return;
  }
  // Only a size limit needs the UTF-16 length, so count it only then.
  const size_t length = size > 0 ? UTF16Length(utf8) : 0;
  WriteMessage(utf8, length, opText, size, streaming, false);
}

void TzorWSFrameWriter::DoWriteStream(std::string_view bytes, int size, TwsStreaming streaming, bool compressed) {
  if (specification_ == spHixie76) return;  // the draft carries text only
  WriteMessage(bytes, bytes.size(), opBinary, size, streaming, compressed);
}

// Inline, as WriteAssembled: the way of every message.
inline void TzorWSFrameWriter::WriteMessage(std::string_view bytes, size_t measuredLength, TOpcode op, int size,
                                            TwsStreaming streaming, bool compressed) {
  const bool fitsOneFrame = size <= 0 || static_cast<size_t>(size) >= measuredLength;
  switch (streaming) {
    case stmNone:
      if (fitsOneFrame)
        WriteStreamFrame(bytes, op, false, compressed);
      else
        WriteStreamFragments(bytes, op, false, size, compressed);
      break;
    case stmFirst:
      WriteStreamFrame(bytes, op, true, compressed);
      break;
    case stmContinue:
      WriteStreamFrame(bytes, opContinuation, true, compressed);
      break;
    case stmLast:
      WriteStreamFrame(bytes, opContinuation, false, compressed);
      break;
    case stmContinueAndLast:
      if (fitsOneFrame)
        WriteStreamFrame(bytes, opContinuation, false, compressed);
      else
        WriteStreamFragments(bytes, op, true, size, compressed);
      break;
  }
}

void TzorWSFrameWriter::WriteStreamFrame(std::string_view bytes, TOpcode op, bool fragment, bool compressed) {
  const bool startsMessage = op == opText || op == opBinary;
  uint8_t first = GetFrameFirstByte(op, fragment);
  TzorWSSinkLock lock(sink_);
  std::string_view payload = bytes;
  if (compressed) {
    if (startsMessage && extensions_) extensions_->EncodeHeader(first);
  } else if (startsMessage && !fragment && extensions_ && extensions_->Compression()) {
    compressed_.assign(bytes);
    bool deflated;
    try {
      deflated = extensions_->WriteStream(compressed_);
    } catch (const std::exception& e) {
      throw TzorWSException(Format("Error Inflating Frame: %s", e.what()));
    }
    if (deflated) {
      payload = compressed_;
      extensions_->EncodeHeader(first);
    }
  }
  WriteAssembled(first, payload);
}

void TzorWSFrameWriter::WriteStreamFragments(std::string_view bytes, TOpcode op, bool continueMessage, int size,
                                             bool compressed) {
  const size_t step = size > 0 ? static_cast<size_t>(size) : bytes.size();
  size_t sent = 0;
  for (size_t index = 0; sent < bytes.size(); ++index) {
    const std::string_view piece = bytes.substr(sent, step);
    sent += piece.size();
    if (index == 0 && !continueMessage)
      WriteStreamFrame(piece, op, true, compressed);
    else
      WriteStreamFrame(piece, opContinuation, sent < bytes.size(), compressed);
  }
}

void TzorWSFrameWriter::WriteCloseFrame(int closeCode) {
  if (specification_ == spHixie76) return;
  const char payload[2] = {static_cast<char>(closeCode >> 8), static_cast<char>(closeCode)};
  WriteStreamFrame(std::string_view(payload, closeCode >= 0 ? 2 : 0), opClose, false);
}

void TzorWSFrameWriter::WriteHixie76(std::string_view utf8) {
  TzorWSSinkLock lock(sink_);
  frame_.clear();
  frame_.reserve(utf8.size() + 2);
  frame_.push_back('\x00');
  frame_.append(utf8);
  frame_.push_back('\xFF');
  SendFrame();
}

inline void TzorWSFrameWriter::WriteAssembled(uint8_t firstByte, std::string_view payload) {
  uint8_t header[14];
  uint8_t key[4];
  if (masked_) keys_.Draw(key, sizeof key);
  const uint8_t* mask = masked_ ? key : nullptr;
  const size_t headerSize = EncodeFrameHeader(header, firstByte, payload.size(), mask);
  const TzorWSFrameParts frame{std::span<const uint8_t>(header, headerSize), payload, mask};
  try {
    if (sink_.AssembleFrame(frame)) return;
  } catch (const std::exception& e) {
    ThrowWriteError(e);
  }
  frame_.resize(frame.Size());
  frame.CopyTo(reinterpret_cast<uint8_t*>(frame_.data()));
  SendFrame();
}

void TzorWSFrameWriter::SendFrame() {
  try {
    sink_.WriteFrame(reinterpret_cast<const uint8_t*>(frame_.data()), frame_.size());
  } catch (const std::exception& e) {
    ThrowWriteError(e);
  }
}

}  // namespace zor
