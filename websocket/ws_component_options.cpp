#include "websocket/ws_component_options.h"

namespace zor {

namespace {

// Copies *source into dest when it is of dest's class; false otherwise.
template <class T>
bool AssignSame(T& dest, const TPersistent& source) {
  const auto* s = dynamic_cast<const T*>(&source);
  if (s && s != &dest) dest = *s;
  return s != nullptr;
}

}  // namespace

void TzorWSDrafts::Assign(const TPersistent& source) {
  if (!AssignSame(*this, source)) TPersistent::Assign(source);
}

void TzorWSSpecifications::Assign(const TPersistent& source) {
  if (!AssignSame(*this, source)) TPersistent::Assign(source);
}

void TzorWSLogFile::Assign(const TPersistent& source) {
  if (!AssignSame(*this, source)) TPersistent::Assign(source);
}

void TzorWSHeartBeat_Options::Assign(const TPersistent& source) {
  if (!AssignSame(*this, source)) TPersistent::Assign(source);
}

void TzorTCPKeepAlive::Assign(const TPersistent& source) {
  if (!AssignSame(*this, source)) TPersistent::Assign(source);
}

void TzorWSWatchDog_Options::Assign(const TPersistent& source) {
  if (!AssignSame(*this, source)) TPersistent::Assign(source);
}

}  // namespace zor
