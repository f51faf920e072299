#pragma once
// One accepted socket until its first bytes say what it is: the bytes are
// collected within the read time-out, the head deadline and the byte bound,
// classified, and the socket is handed to whoever serves that kind.
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "net/async_connection.h"
#include "server/request_classifier.h"

namespace zor {

// The bounds of reading a new socket's first bytes.
struct TzorServerSocketSettings {
  TzorRequestClassifierOptions Classifier;
  int ReadTimeOut = 10;     // ms of quiet after which other protocols are decided
  int HeadTimeOut = 10000;  // ms from accept (TLS included) to a complete head
  int ReadEmptySource = 0;  // > 0: quiet periods after which a silent socket is closed
};

// One accepted socket until its first bytes say what it is.
class TzorServerSocket : public std::enable_shared_from_this<TzorServerSocket> {
 public:
  // Runs on the connection's strand with the classification and every byte
  // received so far (the head and what followed it). From then on the socket
  // belongs to the handler, which sets the connection's data handling with
  // `SetDataHandler`; a socket it does not keep it closes itself.
  using ClassifiedHandler = std::function<void(TzorServerSocket&, TzorRequestClassification&, std::string& bytes)>;
  // Reports why a socket was given up before classification (never for a
  // peer that simply left); the socket is closed afterwards.
  using GiveUpHandler = std::function<void(TzorServerSocket&, const std::string& reason)>;

  static std::shared_ptr<TzorServerSocket> Create(TzorAsyncConnection& connection, TzorServerSocketSettings settings,
                                                  ClassifiedHandler onClassified, GiveUpHandler onGiveUp);
  // The handlers of the accepted connection: they drive this socket.
  void Install(TzorAsyncConnection::Handlers& handlers);

  TzorAsyncConnection& Connection() { return connection_; }
  // After classification: called on the strand whenever bytes arrive.
  void SetDataHandler(std::function<void(TzorAsyncConnection&)> onData) { onData_ = std::move(onData); }
  // Called once when the socket ends, whatever state it is in.
  void SetClosedHandler(std::function<void(std::exception_ptr)> onClosed) { onClosed_ = std::move(onClosed); }
  bool Classified() const { return classified_; }

 private:
  TzorServerSocket(TzorAsyncConnection& connection, TzorServerSocketSettings settings, ClassifiedHandler onClassified,
                   GiveUpHandler onGiveUp);
  void OnData();
  void OnIdle();
  void Classify(TwsFirstBytesWait wait);
  void ArmWait();
  // `status` 0: no answer is written.
  void GiveUp(int status, const char* statusText, const std::string& reason);

  using Clock = std::chrono::steady_clock;
  TzorAsyncConnection& connection_;
  TzorServerSocketSettings settings_;
  ClassifiedHandler onClassified_;
  GiveUpHandler onGiveUp_;
  std::function<void(TzorAsyncConnection&)> onData_;
  std::function<void(std::exception_ptr)> onClosed_;
  Clock::time_point accepted_ = Clock::now();
  std::string pending_;
  bool ready_ = false;      // TLS handshake done (at once without TLS)
  bool quietSeen_ = false;  // the quiet rule ran on the bytes pending now
  bool classified_ = false;
};

}  // namespace zor
