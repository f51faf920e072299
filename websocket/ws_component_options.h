#pragma once
// Option groups of the WebSocket components: the protocol versions accepted,
// the frame log, heartbeat, TCP keep-alive and watchdog settings.
#include "base/persistent.h"

#include <cstdint>
#include <string>

namespace zor {

// Older WebSocket drafts a server still answers.
class TzorWSDrafts : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorWSDrafts"; }
  void Assign(const TPersistent& source) override;
  bool Hixie76() const { return FHixie76; }
  void SetHixie76(bool value) { FHixie76 = value; }

 private:
  bool FHixie76 = true;
};

// Which WebSocket specifications a component speaks.
class TzorWSSpecifications : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorWSSpecifications"; }
  void Assign(const TPersistent& source) override;
  bool RFC6455() const { return FRFC6455; }
  void SetRFC6455(bool value) { FRFC6455 = value; }
  bool RFC8441() const { return FRFC8441; }
  void SetRFC8441(bool value) { FRFC8441 = value; }
  TzorWSDrafts& Drafts() { return FDrafts; }
  const TzorWSDrafts& Drafts() const { return FDrafts; }

 private:
  bool FRFC6455 = true;
  bool FRFC8441 = false;
  TzorWSDrafts FDrafts;
};

// The frame log of a component's connections.
class TzorWSLogFile : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorWSLogFile"; }
  void Assign(const TPersistent& source) override;
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value) { FEnabled = value; }
  const std::string& FileName() const { return FFileName; }
  void SetFileName(const std::string& value) { FFileName = value; }
  // Frames are logged decoded ("[text] hello") rather than as raw bytes.
  bool UnMaskFrames() const { return FUnMaskFrames; }
  void SetUnMaskFrames(bool value) { FUnMaskFrames = value; }

 private:
  bool FEnabled = false;
  std::string FFileName;
  bool FUnMaskFrames = false;
};

// Seconds.
class TzorWSHeartBeat_Options : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorWSHeartBeat_Options"; }
  void Assign(const TPersistent& source) override;
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value) { FEnabled = value; }
  int32_t Interval() const { return FInterval; }
  void SetInterval(int32_t value) { FInterval = value; }
  int32_t Timeout() const { return FTimeout; }
  void SetTimeout(int32_t value) { FTimeout = value; }

 private:
  bool FEnabled = false;
  int32_t FInterval = 300;
  int32_t FTimeout = 0;
};

// Milliseconds.
class TzorTCPKeepAlive : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorTCPKeepAlive"; }
  void Assign(const TPersistent& source) override;
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value) { FEnabled = value; }
  int32_t Time() const { return FTime; }
  void SetTime(int32_t value) { FTime = value; }
  int32_t Interval() const { return FInterval; }
  void SetInterval(int32_t value) { FInterval = value; }

 private:
  bool FEnabled = false;
  int32_t FTime = 7200000;
  int32_t FInterval = 1000;
};

// Seconds; Attempts 0 means no limit.
class TzorWSWatchDog_Options : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorWSWatchDog_Options"; }
  void Assign(const TPersistent& source) override;
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value) { FEnabled = value; }
  int32_t Interval() const { return FInterval; }
  void SetInterval(int32_t value) { FInterval = value; }
  int32_t Attempts() const { return FAttempts; }
  void SetAttempts(int32_t value) { FAttempts = value; }

 private:
  bool FEnabled = false;
  int32_t FInterval = 10;
  int32_t FAttempts = 0;
};

}  // namespace zor
