#pragma once
// Base of the server-side token components (JWT validation, OAuth2 server):
// a component with an owner that a server consults for each request.
#include "base/component.h"

namespace zor {

// The connection whose request is being checked (the WebSocket layer's
// connection object); null when a check is called directly.
class TzorWSConnection;

// Base of the server-side token components that a server consults for each request.
class TzorHTTPComponentServerAuthToken_Base : public TzorComponent_Base {
 public:
  explicit TzorHTTPComponentServerAuthToken_Base(TzorComponent_Base* aOwner = nullptr) : FOwner(aOwner) {}
  TzorComponent_Base* Owner() const { return FOwner; }

 private:
  TzorComponent_Base* FOwner;
};

}  // namespace zor
