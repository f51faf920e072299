#pragma once
// A multipart/form-data body (RFC 7578) built in memory: form fields and
// files, separated by a random boundary that the content type names.
#include <string>
#include <string_view>

namespace zor {

// A multipart/form-data request body built in memory.
class TzorMultipartFormData {
 public:
  TzorMultipartFormData();

  // A text field; its value is sent as UTF-8.
  void AddFormField(std::string_view name, std::string_view value);
  // A file part with its bytes; an empty content type sends
  // "application/octet-stream".
  void AddFile(std::string_view name, std::string_view file_name, std::string_view bytes,
               std::string_view content_type = {});

  // "multipart/form-data; boundary=..."
  std::string ContentType() const;
  const std::string& Boundary() const { return boundary_; }
  // The whole body, closing delimiter included.
  std::string Body() const;

 private:
  void BeginPart(std::string_view disposition, std::string_view content_type);
  std::string boundary_;
  std::string parts_;
};

}  // namespace zor
