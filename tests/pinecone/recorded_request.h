#pragma once
// Reading back what a Pinecone component sent to the recording test server,
// and the server's canned answer.
#include <mutex>
#include <string>
#include <vector>

#include "tests/http/local_server.h"

namespace zor::testing {

using Lines = std::vector<std::string>;

inline std::string RequestLine(const std::string& head) { return head.substr(0, head.find("\r\n")); }

// The header lines of a request head, in order, without the request line.
inline Lines HeaderLines(const std::string& head) {
  Lines lines;
  size_t start = head.find("\r\n") + 2;
  for (size_t end; (end = head.find("\r\n", start)) != std::string::npos && end != start; start = end + 2) {
    lines.push_back(head.substr(start, end - start));
  }
  return lines;
}

// The test server's canned answer to every request.
class CannedAnswer {
 public:
  void Set(std::string status, std::string body) {
    std::lock_guard lock(mutex_);
    status_ = std::move(status);
    body_ = std::move(body);
  }
  std::string Get() {
    std::lock_guard lock(mutex_);
    return Answer(status_, body_, "Content-Type: application/json\r\n");
  }

 private:
  std::mutex mutex_;
  std::string status_ = "200 OK";
  std::string body_ = "{}";
};

}  // namespace zor::testing
