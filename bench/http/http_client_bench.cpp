// GET and POST with a fresh TLS 1.2 connection per request (new TCP
// connection, full handshake, no session resumption) against one loopback
// server: the REST API client base next to libcurl's easy interface doing the
// same requests. Compare items_per_second of the pairs.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <memory>
#include <string>

#include "http/rest_api_client.h"
#include "tests/http/local_server.h"

namespace {

using zor::testing::Answer;
using zor::testing::LocalServer;

const std::string kBody = "{\"vector\":[0.1,0.2,0.3,0.4],\"topK\":10,\"includeValues\":true}";

LocalServer& Server() {
  static LocalServer server(true, [](const LocalServer::Request&, bool& close) {
    close = true;
    return Answer("200 OK", "{\"matches\":[{\"id\":\"a\",\"score\":0.99}],\"namespace\":\"\"}",
                  "Content-Type: application/json\r\n");
  });
  return server;
}

std::string URL() { return "https://127.0.0.1:" + std::to_string(Server().Port()) + "/query"; }

void ZorGet(benchmark::State& state) {
  zor::TzorHTTPAPI_client api;
  const std::string url = URL();
  const zor::TzorHeaderLines headers{"Api-Key: k", "accept: application/json"};
  for (auto _ : state) benchmark::DoNotOptimize(api.Get(url, &headers));
  state.SetItemsProcessed(state.iterations());
}

void ZorPost(benchmark::State& state) {
  zor::TzorHTTPAPI_client api;
  const std::string url = URL();
  const zor::TzorHeaderLines headers{"Api-Key: k", "accept: application/json", "content-type: application/json"};
  for (auto _ : state) benchmark::DoNotOptimize(api.Post(url, kBody, &headers, nullptr, true));
  state.SetItemsProcessed(state.iterations());
}

size_t Collect(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

// One easy handle per request, as a fresh REST call has one client.
std::string CurlRequest(const std::string& url, const std::string* body, curl_slist* headers) {
  std::string response;
  CURL* curl = curl_easy_init();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2));
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_SESSIONID_CACHE, 0L);
  curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
  curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &response);
  if (body) {
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body->data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body->size()));
  }
  if (curl_easy_perform(curl) != CURLE_OK) response.clear();
  curl_easy_cleanup(curl);
  return response;
}

void CurlGet(benchmark::State& state) {
  const std::string url = URL();
  curl_slist* headers = curl_slist_append(nullptr, "Api-Key: k");
  headers = curl_slist_append(headers, "accept: application/json");
  for (auto _ : state) {
    if (CurlRequest(url, nullptr, headers).empty()) state.SkipWithError("libcurl request failed");
  }
  curl_slist_free_all(headers);
  state.SetItemsProcessed(state.iterations());
}

void CurlPost(benchmark::State& state) {
  const std::string url = URL();
  curl_slist* headers = curl_slist_append(nullptr, "Api-Key: k");
  headers = curl_slist_append(headers, "accept: application/json");
  headers = curl_slist_append(headers, "content-type: application/json");
  for (auto _ : state) {
    if (CurlRequest(url, &kBody, headers).empty()) state.SkipWithError("libcurl request failed");
  }
  curl_slist_free_all(headers);
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(ZorGet)->UseRealTime()->MinTime(2.0);
BENCHMARK(CurlGet)->UseRealTime()->MinTime(2.0);
BENCHMARK(ZorPost)->UseRealTime()->MinTime(2.0);
BENCHMARK(CurlPost)->UseRealTime()->MinTime(2.0);

}  // namespace
