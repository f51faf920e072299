#pragma once
// For the programs here that serve until SIGINT or SIGTERM: the signals are
// blocked before any thread starts (threads inherit the mask), so that only
// the wait sees them.
#include <pthread.h>

#include <csignal>

namespace zor::tools {

inline sigset_t BlockStopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  return signals;
}

inline void WaitForStopSignal(const sigset_t& aSignals) {
  int received = 0;
  sigwait(&aSignals, &received);
}

}  // namespace zor::tools
