#pragma once
// The outgoing queue levels of a connection: messages and pings that writers
// leave for the connection's owner to send from its IO thread, level 0 first.
#include "base/persistent.h"
#include "websocket/ws_types.h"

#include <deque>
#include <memory>
#include <mutex>
#include <string>

namespace zor {

enum TwsQueueMsgLevels : uint8_t { qmNone, qmLevel0, qmLevel1, qmLevel2 };

// One queued item, holding its own copy of the data. Messages are queued as
// plain text or bytes and compressed when they are sent, so that the deflate
// context sees messages in the order they reach the wire.
class TzorQueueObject {
 public:
  int32_t Size = 0;
  TwsStreaming Streaming = stmNone;
  TOpcode OpCode = opText;
  std::string Text;    // a text message or a ping's text
  std::string Stream;  // a binary message

  size_t Bytes() const { return Text.size() + Stream.size(); }
};

// A locked list of queued items.
class TzorQueueList {
 public:
  using TItems = std::deque<std::unique_ptr<TzorQueueObject>>;

  void Add(std::unique_ptr<TzorQueueObject> item);
  // Moves every item out under the lock, so that they are sent without it.
  TItems TakeAll();
  size_t Count() const;

 private:
  mutable std::mutex lock_;
  TItems items_;
};

// The level of one kind of outgoing item.
class TzorWSQueue : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorWSQueue"; }
  void Assign(const TPersistent& source) override;
  TwsQueueMsgLevels Level() const { return FLevel; }
  void SetLevel(TwsQueueMsgLevels value) { FLevel = value; }

 private:
  TwsQueueMsgLevels FLevel = qmNone;
};

// Which messages wait in the connection's queues instead of being sent at once.
class TzorWSQueueOptions : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorWSQueueOptions"; }
  void Assign(const TPersistent& source) override;
  TzorWSQueue& Text() { return FText; }
  TzorWSQueue& Binary() { return FBinary; }
  TzorWSQueue& Ping() { return FPing; }
  const TzorWSQueue& Text() const { return FText; }
  const TzorWSQueue& Binary() const { return FBinary; }
  const TzorWSQueue& Ping() const { return FPing; }
  // Any kind is queued.
  bool AnyLevel() const { return FText.Level() != qmNone || FBinary.Level() != qmNone || FPing.Level() != qmNone; }

 private:
  TzorWSQueue FText, FBinary, FPing;
};

}  // namespace zor
