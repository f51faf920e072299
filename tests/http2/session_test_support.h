#pragma once
// A scripted client for a server session over an in-memory pair: it writes
// frames into the session and reads what the session sends with a client
// reader, recording each frame as a line.
#include "http2/session.h"
#include "tests/http2/frame_test_support.h"

#include <string>
#include <vector>

namespace zor::testing {

struct TClient {
  TzorHTTP2Session session;
  TzorHTTP2_Frame reader{h2frClientRead};
  TzorHTTP2_HPACK encoder;
  std::vector<std::string> frames;  // what the session sent
  std::vector<std::string> requests;
  bool disconnected = false;

  explicit TClient(bool start = true) {
    session.OnHTTP2WriteBytes = [this](TzorHTTP2Session&, std::span<const uint8_t> bytes) {
      reader.ReadBytes(bytes);
    };
    session.OnHTTP2Disconnect = [this](TzorHTTP2Session&) { disconnected = true; };
    session.OnHTTP2Request = [this](TzorHTTP2Session&, const TzorHTTP2_HeaderList& headers,
                                    std::span<const uint8_t> body, int32_t request, int32_t push, TzorStringStream*) {
      requests.push_back(std::to_string(request) + "/" + std::to_string(push) + " " +
                         std::string(headers.Find(":path").value_or("")) + " " + std::to_string(body.size()));
    };
    reader.OnReadFrameSettings = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Settings& f) {
      frames.push_back(f.ACK() ? "SETTINGS ack" : "SETTINGS " + std::to_string(f.FrameLength()));
    };
    reader.OnReadFrameHeaders = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Headers& f) {
      std::string line = "HEADERS " + std::to_string(f.StreamIdentifier());
      for (size_t i = 0; i < f.Headers().Count(); ++i) line += " " + f.Headers().Line(i);
      frames.push_back(line + (f.EndStream() ? " end" : ""));
    };
    reader.OnReadFrameData = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Data& f) {
      frames.push_back("DATA " + std::to_string(f.StreamIdentifier()) + " " + std::to_string(f.Data().size()) +
                       (f.EndStream() ? " end" : ""));
    };
    reader.OnReadFramePushPromise = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_PushPromise& f) {
      frames.push_back("PUSH_PROMISE " + std::to_string(f.StreamIdentifier()) + " " +
                       std::to_string(f.PromisedStreamid()) + " " + f.URL());
    };
    reader.OnReadFrameWindowUpdate = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_WindowUpdate& f) {
      frames.push_back("WINDOW_UPDATE " + std::to_string(f.StreamIdentifier()) + " " +
                       std::to_string(f.WindowSizeIncrement()));
    };
    reader.OnReadFrameRSTStream = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_RSTStream& f) {
      frames.push_back("RST_STREAM " + std::to_string(f.StreamIdentifier()) + " " + std::to_string(f.ErrorCode()));
    };
    reader.OnReadFrameGoAway = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_GoAway& f) {
      frames.push_back("GOAWAY " + std::to_string(f.LastStreamid()) + " " + std::to_string(f.ErrorCode()) + " " +
                       f.AdditionalDebugData());
    };
    reader.OnReadFramePing = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Ping& f) {
      frames.push_back(std::string("PING ") + (f.ACK() ? "ack " : "") + std::to_string(f.PayLoad()[7]));
    };
    if (start) Start();
  }

  // The session's SETTINGS, then the preface and the client's SETTINGS.
  void Start(const TBytes& settings = {}) {
    session.StartHTTP2();
    Send(Concat({TBytes(Th2ConnectionPreface.begin(), Th2ConnectionPreface.end()),
                 Frame(h2ftSETTINGS, 0, 0, settings)}));
  }
  void Send(const TBytes& bytes) { session.ReadHTTP2Data(bytes); }
  // Everything sent since the last call.
  std::vector<std::string> Sent() { return std::exchange(frames, {}); }

  TBytes Block(std::initializer_list<std::pair<std::string, std::string>> fields) {
    TzorHTTP2_HeaderList list;
    for (const auto& [name, value] : fields) list.Add(name, value);
    TzorByteBuffer block;
    encoder.Encode(list, block);
    return TBytes(block.Data(), block.Data() + block.Size());
  }
  TBytes Request(int32_t stream, const std::string& method, const std::string& path, bool endStream,
                 std::initializer_list<std::pair<std::string, std::string>> extra = {}) {
    std::vector<std::pair<std::string, std::string>> fields = {
        {":method", method}, {":scheme", "https"}, {":path", path}, {":authority", "example.com"}};
    fields.insert(fields.end(), extra.begin(), extra.end());
    TzorHTTP2_HeaderList list;
    for (const auto& [name, value] : fields) list.Add(name, value);
    TzorByteBuffer block;
    encoder.Encode(list, block);
    const uint8_t flags = h2flags::END_HEADERS | (endStream ? h2flags::END_STREAM : 0);
    return Frame(h2ftHEADERS, flags, static_cast<uint32_t>(stream), TBytes(block.Data(), block.Data() + block.Size()));
  }
  void Get(int32_t stream, const std::string& path = "/") { Send(Request(stream, "GET", path, true)); }
};

inline TBytes Setting(uint16_t identifier, uint32_t value) {
  TBytes entry(6);
  WriteWireInteger(entry.data(), identifier, 2);
  WriteWireInteger(entry.data() + 2, value, 4);
  return entry;
}

inline TBytes WindowUpdate(uint32_t stream, uint32_t increment) {
  TBytes payload(4);
  WriteWireInteger(payload.data(), increment, 4);
  return Frame(h2ftWINDOW_UPDATE, 0, stream, payload);
}

inline TBytes Reset(uint32_t stream, uint32_t code) {
  TBytes payload(4);
  WriteWireInteger(payload.data(), code, 4);
  return Frame(h2ftRST_STREAM, 0, stream, payload);
}

}  // namespace zor::testing
