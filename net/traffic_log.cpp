#include "net/traffic_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>

#include "base/files.h"
#include "base/format.h"

namespace zor {

std::string LogDateTimeText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

TzorIdLogFileBase::~TzorIdLogFileBase() {
  if (fd_ >= 0) ::close(fd_);
}

void TzorIdLogFileBase::SetActive(bool active) {
  std::lock_guard guard(lock_);
  if (!active) {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    return;
  }
  if (fd_ >= 0) return;
  fd_ = ::open(file_name_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd_ < 0) throw EFOpenError(Format("Cannot open file \"%s\". %s", file_name_.c_str(), std::strerror(errno)));
}

bool TzorIdLogFileBase::Active() const {
  std::lock_guard guard(lock_);
  return fd_ >= 0;
}

void TzorIdLogFileBase::WriteLine(std::string_view prefix, std::string_view data) {
  std::lock_guard guard(lock_);
  if (fd_ < 0) return;
  std::string line(prefix);
  if (replace_crlf_) {
    for (const char c : data) {
      if (c == '\r')
        line += "\\r";
      else if (c == '\n')
        line += "\\n";
      else
        line += c;
    }
  } else {
    line += data;
  }
  line += "\r\n";
  // A line that cannot be written is lost; the connection goes on.
  WriteAllBytes(fd_, line);
}

void TzorIdLogFileBase::WriteDataLine(const char* direction, std::string_view data) {
  WriteLine(std::string(direction) + " " + LogDateTimeText() + ": ", data);
}

void TzorIdLogFileBase::LogStatus(const std::string& text) { WriteLine("Stat ", text); }
void TzorIdLogFileBase::LogReceived(std::string_view data) { WriteDataLine("Recv", data); }
void TzorIdLogFileBase::LogSent(std::string_view data) { WriteDataLine("Sent", data); }

void TzorIdLogFileBase::Connected() { LogStatus("Connected."); }
void TzorIdLogFileBase::Disconnected() { LogStatus("Disconnected."); }

TzorConnectionIntercept::Pause TzorIdLogFileBase::Received(std::string_view data) {
  if (raw_log_) LogReceived(data);
  return {};
}

TzorConnectionIntercept::Pause TzorIdLogFileBase::Sent(std::string_view data) {
  if (raw_log_) LogSent(data);
  return {};
}

}  // namespace zor
