#include "server/server_socket.h"

#include <algorithm>

#include "server/http_answers.h"

namespace zor {

std::shared_ptr<TzorServerSocket> TzorServerSocket::Create(TzorAsyncConnection& connection,
                                                           TzorServerSocketSettings settings,
                                                           ClassifiedHandler onClassified, GiveUpHandler onGiveUp) {
  return std::shared_ptr<TzorServerSocket>(
      new TzorServerSocket(connection, std::move(settings), std::move(onClassified), std::move(onGiveUp)));
}

TzorServerSocket::TzorServerSocket(TzorAsyncConnection& connection, TzorServerSocketSettings settings,
                                   ClassifiedHandler onClassified, GiveUpHandler onGiveUp)
    : connection_(connection),
      settings_(std::move(settings)),
      onClassified_(std::move(onClassified)),
      onGiveUp_(std::move(onGiveUp)) {
  settings_.ReadTimeOut = std::max(settings_.ReadTimeOut, 1);
}

void TzorServerSocket::Install(TzorAsyncConnection::Handlers& handlers) {
  // The connection keeps its socket object alive through these handlers.
  auto self = shared_from_this();
  handlers.OnReady = [self](TzorAsyncConnection&) {
    self->ready_ = true;
    self->ArmWait();
  };
  handlers.OnData = [self](TzorAsyncConnection& c) {
    if (self->classified_) {
      if (self->onData_) self->onData_(c);
    } else {
      self->OnData();
    }
  };
  handlers.OnClosed = [self](TzorAsyncConnection&, std::exception_ptr failure) {
    auto onClosed = std::move(self->onClosed_);
    self->onData_ = nullptr;
    if (onClosed) onClosed(failure);
  };
  ArmWait();
}

void TzorServerSocket::ArmWait() {
  if (classified_) return;
  using std::chrono::milliseconds;
  const auto elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - accepted_);
  auto wait = milliseconds(settings_.HeadTimeOut) - elapsed;
  if (pending_.empty() && settings_.ReadEmptySource > 0)
    wait = std::min(wait, milliseconds(settings_.ReadEmptySource * settings_.ReadTimeOut) - elapsed);
  else if (!pending_.empty() && !quietSeen_)
    wait = std::min(wait, milliseconds(settings_.ReadTimeOut));
  const auto ms = static_cast<int>(std::max<int64_t>(wait.count(), 1));
  connection_.SetIdleTimeout(ms, [weak = weak_from_this()](TzorAsyncConnection&) {
    if (auto self = weak.lock()) self->OnIdle();
  });
}

void TzorServerSocket::OnData() {
  connection_.ReadFromBuffer(pending_, SIZE_MAX);
  quietSeen_ = false;
  const bool late = Clock::now() - accepted_ >= std::chrono::milliseconds(settings_.HeadTimeOut);
  Classify(late ? fwOver : fwWaiting);
}

void TzorServerSocket::OnIdle() {
  if (classified_) return;
  const bool late = Clock::now() - accepted_ >= std::chrono::milliseconds(settings_.HeadTimeOut);
  if (!ready_) {
    if (late) GiveUp(0, "", "Error starting SSL connection.");
    else ArmWait();
    return;
  }
  if (pending_.empty()) {
    // Nothing ever arrived: the empty-source limit or the deadline closes the socket quietly.
    if (late || settings_.ReadEmptySource > 0) connection_.Disconnect(false);
    else ArmWait();
    return;
  }
  quietSeen_ = true;
  Classify(late ? fwOver : fwQuiet);
}

void TzorServerSocket::Classify(TwsFirstBytesWait wait) {
  TzorRequestClassification c = ClassifyRequest(pending_, settings_.Classifier, wait);
  switch (c.Kind) {
    case rkNeedMore:
      return ArmWait();
    case rkHeadTooLarge:
      return GiveUp(431, "Request Header Fields Too Large", "Request head larger than the read buffer");
    case rkHeadIncomplete:
      return GiveUp(408, "Request Timeout", "Request head not complete in time");
    default:
      break;
  }
  classified_ = true;
  connection_.SetIdleTimeout(0, nullptr);
  std::string bytes = std::move(pending_);
  pending_.clear();
  pending_.shrink_to_fit();
  onClassified_(*this, c, bytes);
}

void TzorServerSocket::GiveUp(int status, const char* statusText, const std::string& reason) {
  classified_ = true;
  connection_.SetIdleTimeout(0, nullptr);
  pending_.clear();
  if (onGiveUp_) onGiveUp_(*this, reason);
  if (status == 0) return connection_.Abort();
  try {
    WriteHTTPStatus(connection_, status, statusText, {"Connection: close"});
  } catch (const std::exception&) {
    // The peer is gone already; closing is all that is left.
  }
  connection_.Disconnect();
}

}  // namespace zor
