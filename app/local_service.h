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

  // Starts the service for the form's API key and points the form's components
  // (both APIs) at it. Empty API key, project id and vector index name are
  // filled first (the default key, the service's project, the index the form
  // creates by default). Call after the settings are loaded.
  void Attach(TzorPineconeForm& form);

 private:
  TzorPineconeLocal service_;
};

}  // namespace zor
