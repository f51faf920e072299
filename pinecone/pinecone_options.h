#pragma once
// Settings of the Pinecone component: API key, environment and traffic log.
#include <memory>
#include <string>

#include "base/persistent.h"

namespace zor {

// Traffic-log settings of the Pinecone component.
class TzorHTTPPineconeLog_Options : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorHTTPPineconeLog_Options"; }
  void Assign(const TPersistent& source) override;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value) { enabled_ = value; }
  const std::string& FileName() const { return file_name_; }
  void SetFileName(std::string value) { file_name_ = std::move(value); }

 private:
  bool enabled_ = false;
  std::string file_name_;
};

// Settings of the Pinecone component: API key, environment and traffic log.
class TzorHTTPPinecone_Options : public TPersistent {
 public:
  static constexpr const char* kDefaultEnvironment = "us-west4-gcp-free";

  TzorHTTPPinecone_Options();
  TzorHTTPPinecone_Options(const TzorHTTPPinecone_Options& other);
  TzorHTTPPinecone_Options& operator=(const TzorHTTPPinecone_Options& other);

  const char* ClassName() const override { return "TzorHTTPPinecone_Options"; }
  void Assign(const TPersistent& source) override;

  const std::string& ApiKey() const { return api_key_; }
  void SetApiKey(std::string value) { api_key_ = std::move(value); }
  const std::string& Environment() const { return environment_; }
  void SetEnvironment(std::string value) { environment_ = std::move(value); }
  // The owned object; setting copies the values into it.
  TzorHTTPPineconeLog_Options& LogOptions() { return *log_options_; }
  const TzorHTTPPineconeLog_Options& LogOptions() const { return *log_options_; }
  void SetLogOptions(const TzorHTTPPineconeLog_Options& value) { log_options_->Assign(value); }

 private:
  std::unique_ptr<TzorHTTPPineconeLog_Options> log_options_;
  std::string api_key_;
  std::string environment_ = kDefaultEnvironment;
};

// What every Pinecone component does before a request: when the log switch
// differs from the options', copy the file name, then the switch. A new file
// name alone takes effect at the next change of the switch.
void SyncPineconeLogOptions(const TzorHTTPPineconeLog_Options& options, bool& log, std::string& log_file_name);

}  // namespace zor
