#include "pinecone/pinecone_options.h"

namespace zor {

void TzorHTTPPineconeLog_Options::Assign(const TPersistent& source) {
  if (auto* from = dynamic_cast<const TzorHTTPPineconeLog_Options*>(&source)) {
    enabled_ = from->enabled_;
    file_name_ = from->file_name_;
    return;
  }
  TPersistent::Assign(source);
}

TzorHTTPPinecone_Options::TzorHTTPPinecone_Options()
    : log_options_(std::make_unique<TzorHTTPPineconeLog_Options>()) {}

TzorHTTPPinecone_Options::TzorHTTPPinecone_Options(const TzorHTTPPinecone_Options& other)
    : TzorHTTPPinecone_Options() {
  Assign(other);
}

TzorHTTPPinecone_Options& TzorHTTPPinecone_Options::operator=(const TzorHTTPPinecone_Options& other) {
  Assign(other);
  return *this;
}

void TzorHTTPPinecone_Options::Assign(const TPersistent& source) {
  if (auto* from = dynamic_cast<const TzorHTTPPinecone_Options*>(&source)) {
    log_options_->Assign(*from->log_options_);
    api_key_ = from->api_key_;
    environment_ = from->environment_;
    return;
  }
  TPersistent::Assign(source);
}

void SyncPineconeLogOptions(const TzorHTTPPineconeLog_Options& options, bool& log, std::string& log_file_name) {
  if (log != options.Enabled()) {
    log_file_name = options.FileName();
    log = options.Enabled();
  }
}

}  // namespace zor
