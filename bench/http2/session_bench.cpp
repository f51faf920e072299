// A server connection answering small GET requests read from memory: the
// preface, SETTINGS and 100 requests (as a browser's encoder would code them)
// in one buffer, each answered with a 5-octet body. Ours next to libnghttp2's
// server session doing the same work. Counters: requests per second and CPU
// time per request.
#include "http2/session.h"

#include <benchmark/benchmark.h>
#include <nghttp2/nghttp2.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int kRequests = 100;

zor::TBytes Frame(uint8_t type, uint8_t flags, uint32_t stream, const zor::TBytes& payload) {
  zor::TBytes frame(9);
  zor::WriteWireInteger(frame.data(), static_cast<uint32_t>(payload.size()), 3);
  frame[3] = type;
  frame[4] = flags;
  zor::WriteWireInteger(frame.data() + 5, stream, 4);
  frame.insert(frame.end(), payload.begin(), payload.end());
  return frame;
}

const zor::TBytes& Input() {
  static const zor::TBytes input = [] {
    zor::TBytes all(zor::Th2ConnectionPreface.begin(), zor::Th2ConnectionPreface.end());
    const zor::TBytes settings = Frame(zor::h2ftSETTINGS, 0, 0, {});
    all.insert(all.end(), settings.begin(), settings.end());
    zor::TzorHTTP2_HPACK encoder;
    for (int i = 0; i < kRequests; ++i) {
      zor::TzorHTTP2_HeaderList list;
      list.Add(":method", "GET");
      list.Add(":scheme", "https");
      list.Add(":authority", "example.com");
      list.Add(":path", "/item/" + std::to_string(i));
      list.Add("user-agent", "Mozilla/5.0 (X11; Linux x86_64) bench");
      list.Add("accept", "text/html,application/xhtml+xml");
      list.Add("accept-encoding", "gzip, deflate, br");
      zor::TzorByteBuffer block;
      encoder.Encode(list, block);
      const zor::TBytes frame = Frame(zor::h2ftHEADERS, zor::h2flags::END_HEADERS | zor::h2flags::END_STREAM,
                                      static_cast<uint32_t>(2 * i + 1), zor::TBytes(block.Data(), block.Data() + block.Size()));
      all.insert(all.end(), frame.begin(), frame.end());
    }
    return all;
  }();
  return input;
}

// `sent`: octets written, so that both sides are seen to answer everything.
void Report(benchmark::State& state, size_t sent) {
  state.SetItemsProcessed(state.iterations() * kRequests);
  state.counters["sent/request"] = static_cast<double>(sent) / static_cast<double>(state.iterations() * kRequests);
  state.counters["cpu/request"] = benchmark::Counter(kRequests, benchmark::Counter::kIsIterationInvariantRate |
                                                                    benchmark::Counter::kInvert);
}

void BM_SessionZor(benchmark::State& state) {
  const zor::TBytes& input = Input();
  size_t sent = 0;
  for (auto _ : state) {
    zor::TzorHTTP2Session session;
    session.OnHTTP2WriteBytes = [&](zor::TzorHTTP2Session&, std::span<const uint8_t> bytes) { sent += bytes.size(); };
    session.OnHTTP2Request = [](zor::TzorHTTP2Session& s, const zor::TzorHTTP2_HeaderList&, std::span<const uint8_t>,
                                int32_t request, int32_t, zor::TzorStringStream*) {
      zor::TzorHTTP2ResponseInfo response;
      response.RawHeaders = {"content-type: text/plain"};
      response.ContentText = "hello";
      s.SendHTTP2Response("example.com", response, 0, request);
    };
    session.StartHTTP2();
    session.ReadHTTP2Data(input);
  }
  Report(state, sent);
}

struct NghttpConnection {
  size_t sent = 0;
  static ssize_t ReadBody(nghttp2_session*, int32_t, uint8_t* buf, size_t length, uint32_t* flags,
                          nghttp2_data_source*, void*) {
    static const char body[] = "hello";
    const size_t n = std::min<size_t>(length, 5);
    std::memcpy(buf, body, n);
    *flags |= NGHTTP2_DATA_FLAG_EOF;
    return static_cast<ssize_t>(n);
  }
  static int OnFrameRecv(nghttp2_session* session, const nghttp2_frame* frame, void*) {
    if (frame->hd.type != NGHTTP2_HEADERS || !(frame->hd.flags & NGHTTP2_FLAG_END_STREAM)) return 0;
    static const char server[] = "zorWebSockets 2023.6.0";
    const nghttp2_nv headers[] = {
        {(uint8_t*)":status", (uint8_t*)"200", 7, 3, NGHTTP2_NV_FLAG_NONE},
        {(uint8_t*)"content-type", (uint8_t*)"text/plain", 12, 10, NGHTTP2_NV_FLAG_NONE},
        {(uint8_t*)"server", (uint8_t*)server, 6, sizeof server - 1, NGHTTP2_NV_FLAG_NONE},
    };
    nghttp2_data_provider provider{};
    provider.read_callback = ReadBody;
    return nghttp2_submit_response(session, frame->hd.stream_id, headers, 3, &provider);
  }
};

void BM_SessionNghttp2(benchmark::State& state) {
  const zor::TBytes& input = Input();
  nghttp2_session_callbacks* callbacks;
  nghttp2_session_callbacks_new(&callbacks);
  nghttp2_session_callbacks_set_on_frame_recv_callback(callbacks, NghttpConnection::OnFrameRecv);
  NghttpConnection connection;
  for (auto _ : state) {
    nghttp2_session* session;
    if (nghttp2_session_server_new(&session, callbacks, &connection) != 0) throw std::runtime_error("server_new");
    nghttp2_submit_settings(session, NGHTTP2_FLAG_NONE, nullptr, 0);
    if (nghttp2_session_mem_recv(session, input.data(), input.size()) < 0) throw std::runtime_error("mem_recv");
    for (;;) {
      const uint8_t* out;
      const ssize_t n = nghttp2_session_mem_send(session, &out);
      if (n < 0) throw std::runtime_error("mem_send");
      if (n == 0) break;
      connection.sent += static_cast<size_t>(n);
    }
    nghttp2_session_del(session);
  }
  nghttp2_session_callbacks_del(callbacks);
  Report(state, connection.sent);
}

BENCHMARK(BM_SessionZor);
BENCHMARK(BM_SessionNghttp2);

}  // namespace
