#pragma once
// The traffic log intercept: every chunk a connection sends or receives, in
// clear, appended to a file one line per event, one lock per line.
#include <atomic>
#include <mutex>
#include <string>

#include "base/exceptions.h"
#include "net/intercept.h"

namespace zor {

// A file that cannot be opened or written.
class EFOpenError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EFOpenError"; }
};

// The traffic log intercept: a connection's traffic written to a file.
class TzorIdLogFileBase : public TzorConnectionIntercept {
 public:
  ~TzorIdLogFileBase() override;

  const std::string& FileName() const { return file_name_; }
  void SetFileName(const std::string& file_name) { file_name_ = file_name; }
  // On: CR and LF inside logged data are written as the two characters "\r"
  // and "\n", so each event stays on one line. Off: written unchanged.
  bool ReplaceCRLF() const { return replace_crlf_; }
  void SetReplaceCRLF(bool replace) { replace_crlf_ = replace; }

  // Opens the file for appending (creating it); raises EFOpenError.
  void SetActive(bool active);
  bool Active() const;

  // Connection data is logged only while raw logging is on; a protocol layer
  // that logs decoded messages itself switches it off around its writes.
  void SetRawLog(bool on) { raw_log_ = on; }
  bool RawLog() const { return raw_log_; }

  // "Stat " + text
  void LogStatus(const std::string& text);
  // "Recv " / "Sent " + local date and time + ": " + the bytes
  void LogReceived(std::string_view data);
  void LogSent(std::string_view data);

  void Connected() override;
  void Disconnected() override;
  Pause Received(std::string_view data) override;
  Pause Sent(std::string_view data) override;

 protected:
  // Writes one line under the lock; nothing while inactive.
  virtual void WriteLine(std::string_view prefix, std::string_view data);

  mutable std::mutex lock_;

 private:
  void WriteDataLine(const char* direction, std::string_view data);

  std::string file_name_;
  bool replace_crlf_ = true;
  std::atomic<bool> raw_log_{true};
  int fd_ = -1;  // the open log, close-on-exec
};

// The log of the library's clients.
class TzorIdLogFileClient : public TzorIdLogFileBase {};

// Local date and time of log lines: "YYYY-MM-DD hh:mm:ss".
std::string LogDateTimeText();

}  // namespace zor
