#pragma once
// The local Pinecone-compatible service run in-process for --local: the
// form's component reaches it under the real host names through connect-to.
#include "tools/pinecone-local/pinecone_local.h"

namespace zor {

class TzorPineconeForm;

class TzorLocalPinecone {
 public:
  // The key the service expects when the form has none.
  static constexpr const char* kDefaultApiKey = "local-key";

  // Starts the service for the form's API key (giving the form the default key
  // first when it has none) and points the form's components (both APIs) at it. Call after
  // the settings are loaded.
  void Attach(TzorPineconeForm& form);

 private:
  TzorPineconeLocal service_;
};

}  // namespace zor
