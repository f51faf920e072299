// Fetches one URL with the HTTP client and prints the status line and the
// body. With a CA file the server's certificate and host name are checked
// against it; without one, against the system's trusted authorities.
//   https_get https://localhost:8443/hello.txt ca.pem
#include <zor/http/http_client.h>

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::cerr << "usage: https_get URL [CA-FILE]\n";
    return 2;
  }
  zor::TzorIdHTTP http;
  http.TLSOptions().SetVerifyCertificate(true);
  if (argc == 3) http.TLSOptions().SetRootCertFile(argv[2]);
  http.SetConnectTimeout(10000);
  http.SetReadTimeout(10000);
  try {
    const std::string body = http.Get(argv[1]);
    std::cout << http.ResponseText() << "\n" << body;
  } catch (const std::exception& e) {
    // Error statuses arrive here too (EIdHTTPProtocolException).
    std::cerr << "https_get: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
