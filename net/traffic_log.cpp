#include "net/traffic_log.h"

#include <cerrno>
#include <cstring>
#include <ctime>

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

TzorIdLogFileBase::~TzorIdLogFileBase() = default;

void TzorIdLogFileBase::SetActive(bool active) {
  std::lock_guard guard(lock_);
  if (!active) {
    if (file_.is_open()) file_.close();
    return;
  }
  if (file_.is_open()) return;
  file_.open(file_name_, std::ios::out | std::ios::app | std::ios::binary);
  if (!file_.is_open())
    throw EFOpenError(Format("Cannot open file \"%s\". %s", file_name_.c_str(), std::strerror(errno)));
}

bool TzorIdLogFileBase::Active() const {
  std::lock_guard guard(lock_);
  return file_.is_open();
}

void TzorIdLogFileBase::WriteLine(std::string_view prefix, std::string_view data) {
  std::lock_guard guard(lock_);
  if (!file_.is_open()) return;
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
  file_.write(line.data(), static_cast<std::streamsize>(line.size()));
  file_.flush();
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
