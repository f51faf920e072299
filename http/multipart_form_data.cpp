#include "http/multipart_form_data.h"

#include "base/bytes.h"
#include "base/random.h"
#include "http/http_exceptions.h"

namespace zor {
namespace {

// Names and file names go into quoted parameters: quotes and line breaks are
// percent-encoded (as browsers do) so a name cannot end the part's head.
std::string QuotedParameter(std::string_view value) {
  std::string out = "\"";
  for (char c : value) {
    if (c == '"') out += "%22";
    else if (c == '\r') out += "%0D";
    else if (c == '\n') out += "%0A";
    else out += c;
  }
  out += '"';
  return out;
}

}  // namespace

TzorMultipartFormData::TzorMultipartFormData() {
  uint8_t random[12];
  RandomBytes(random, sizeof random);
  boundary_ = "--------zor" + BytesToHexText(random, sizeof random);
}

void TzorMultipartFormData::BeginPart(std::string_view disposition, std::string_view content_type) {
  parts_ += "--";
  parts_ += boundary_;
  parts_ += "\r\nContent-Disposition: form-data; ";
  parts_ += disposition;
  parts_ += "\r\n";
  if (!content_type.empty()) {
    if (content_type.find_first_of("\r\n") != std::string_view::npos)
      throw EzorHTTPClientError("Invalid content type of a form part");
    parts_ += "Content-Type: ";
    parts_ += content_type;
    parts_ += "\r\n";
  }
  parts_ += "\r\n";
}

void TzorMultipartFormData::AddFormField(std::string_view name, std::string_view value) {
  BeginPart("name=" + QuotedParameter(name), {});
  parts_ += value;
  parts_ += "\r\n";
}

void TzorMultipartFormData::AddFile(std::string_view name, std::string_view file_name, std::string_view bytes,
                                    std::string_view content_type) {
  BeginPart("name=" + QuotedParameter(name) + "; filename=" + QuotedParameter(file_name),
            content_type.empty() ? "application/octet-stream" : content_type);
  parts_ += bytes;
  parts_ += "\r\n";
}

std::string TzorMultipartFormData::ContentType() const { return "multipart/form-data; boundary=" + boundary_; }

std::string TzorMultipartFormData::Body() const { return parts_ + "--" + boundary_ + "--\r\n"; }

}  // namespace zor
