#pragma once
// The server's side of a WebSocket-over-HTTP/2 stream in tests: frames built
// by hand for the client to read, and a server frame reader that records
// what the client writes, one line per frame.
#include "tests/http2/frame_test_support.h"

#include <span>
#include <string>
#include <vector>

namespace zor::test {

using Lines = std::vector<std::string>;
using zor::testing::Concat;
using zor::testing::Frame;

inline TBytes Text(std::string_view text) { return TBytes(text.begin(), text.end()); }

inline TBytes SettingsFrame(std::initializer_list<std::pair<uint16_t, uint32_t>> entries, uint8_t flags = 0) {
  TBytes payload;
  for (const auto& [id, value] : entries) {
    uint8_t entry[6];
    WriteWireInteger(entry, id, 2);
    WriteWireInteger(entry + 2, value, 4);
    payload.insert(payload.end(), entry, entry + 6);
  }
  return Frame(h2ftSETTINGS, flags, 0, payload);
}
inline TBytes ConnectSettings() { return SettingsFrame({{h2siENABLE_CONNECT_PROTOCOL, 1}}); }

inline TBytes HeadersFrame(std::initializer_list<std::pair<std::string, std::string>> fields,
                           uint8_t flags = h2flags::END_HEADERS, uint32_t stream = 1) {
  return Frame(h2ftHEADERS, flags, stream, zor::testing::RequestBlock(fields));
}
inline TBytes Answer200() { return HeadersFrame({{":status", "200"}}); }

inline TBytes DataFrame(std::string_view text, uint8_t flags = 0, uint32_t stream = 1) {
  return Frame(h2ftDATA, flags, stream, Text(text));
}
inline TBytes Word(uint32_t value) {
  TBytes bytes(4);
  WriteWireInteger(bytes.data(), value, 4);
  return bytes;
}
inline TBytes WindowUpdateFrame(uint32_t stream, uint32_t increment) {
  return Frame(h2ftWINDOW_UPDATE, 0, stream, Word(increment));
}
inline TBytes ResetFrame(uint32_t stream, Th2ErrorCodes code) { return Frame(h2ftRST_STREAM, 0, stream, Word(code)); }
inline TBytes GoAwayFrame(uint32_t last, Th2ErrorCodes code, std::string_view debug = {}) {
  return Frame(h2ftGOAWAY, 0, 0, Concat({Word(last), Word(code), Text(debug)}));
}
inline TBytes PingFrame(uint8_t last = 7, uint32_t stream = 0) {
  return Frame(h2ftPING, 0, stream, {0, 0, 0, 0, 0, 0, 0, last});
}

// Reads what the client writes after its preface, one line per frame.
class ServerSide {
 public:
  ServerSide() {
    reader_.SetEnableConnectProtocol(true);
    reader_.SetMaxFrameSize(h2LargestMaxFrameSize);
    reader_.OnReadFrameSettings = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Settings& f) {
      if (f.ACK()) return frames.push_back("SETTINGS ack");
      frames.push_back("SETTINGS push=" + std::to_string(f.EnablePush()) +
                       " window=" + std::to_string(f.InitialWindowSize()));
    };
    reader_.OnReadFrameHeaders = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Headers& f) {
      std::string line = "HEADERS " + std::to_string(f.StreamIdentifier());
      for (size_t i = 0; i < f.Headers().Count(); ++i) line += " " + f.Headers().Line(i);
      frames.push_back(line + (f.EndStream() ? " end" : ""));
    };
    reader_.OnReadFrameData = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Data& f) {
      frames.push_back("DATA " + std::to_string(f.StreamIdentifier()) + " " + std::to_string(f.Data().size()) +
                       (f.EndStream() ? " end" : ""));
      data.append(f.Data().begin(), f.Data().end());
    };
    reader_.OnReadFrameWindowUpdate = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_WindowUpdate& f) {
      frames.push_back("WINDOW_UPDATE " + std::to_string(f.StreamIdentifier()) + " " +
                       std::to_string(f.WindowSizeIncrement()));
    };
    reader_.OnReadFrameRSTStream = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_RSTStream& f) {
      frames.push_back("RST_STREAM " + std::to_string(f.StreamIdentifier()) + " " + std::to_string(f.ErrorCode()));
    };
    reader_.OnReadFrameGoAway = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_GoAway& f) {
      frames.push_back("GOAWAY " + std::to_string(f.LastStreamid()) + " " + std::to_string(f.ErrorCode()));
    };
    reader_.OnReadFramePing = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Ping& f) {
      frames.push_back(std::string("PING ") + (f.ACK() ? "ack " : "") + std::to_string(f.PayLoad()[7]));
    };
  }

  // Bytes the client wrote: its preface first, then frames.
  void Read(std::span<const uint8_t> bytes) {
    while (preface_.size() < Th2ConnectionPreface.size() && !bytes.empty()) {
      preface_.push_back(static_cast<char>(bytes.front()));
      bytes = bytes.subspan(1);
    }
    reader_.ReadBytes(bytes);
  }
  bool PrefaceSeen() const { return preface_ == Th2ConnectionPreface; }
  Lines Take() { return std::exchange(frames, {}); }

  Lines frames;
  std::string data;  // the content of every DATA frame, in order

 private:
  std::string preface_;
  TzorHTTP2_Frame reader_{h2frServerRead};
};

}  // namespace zor::test
