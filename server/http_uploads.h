#pragma once
// Multipart form uploads saved as files: each file part goes into the save
// folder under its base name, created exclusively, never over a file that
// is there.
#include <cstdint>
#include <functional>
#include <string>

#include "server/http_server_request.h"
#include "server/server_options.h"

namespace zor {

enum TwsPostStreamType : uint8_t { pstMemoryStream, pstFileStream };

// The server's upload options.
class TzorHTTPUploadFilesServer : public TzorOptionsGroup<TzorHTTPUploadFilesServer> {
 public:
  const char* ClassName() const override { return "TzorHTTPUploadFilesServer"; }
  int64_t MinSize = 0;  // smaller bodies stay in memory; 0: any size is saved
  bool RemoveBoundaries = true;
  std::string SaveDirectory;
  TwsPostStreamType StreamType = pstMemoryStream;
};

// What the upload reports while it saves.
struct TzorHTTPUploadEvents {
  // May change the file's name (reduced to its base name again) and folder.
  std::function<void(std::string& aFileName, std::string& aFilePath)> BeforeSaveFile;
  std::function<void(const std::string& aFileName, const std::string& aFilePath)> AfterSaveFile;
  // A plain field of the form.
  std::function<void(const std::string& aName, const std::string& aValue)> ReadInput;
};

// Whether the request's body is a multipart upload to save under these options.
bool IsFileUpload(const TzorHTTPUploadFilesServer& options, const TzorHTTPServerRequest& request);
// The last part of a client's file name, without folders of either kind and
// control characters; "upload" when nothing usable is left.
std::string UploadBaseName(std::string_view fileName);
// Decodes the request's multipart body and saves its files. Raises
// TzorWSException when the body is malformed or a file cannot be written;
// a file cut short is removed.
void SaveMultipartUploads(const TzorHTTPUploadFilesServer& options, const TzorHTTPServerRequest& request,
                          const TzorHTTPUploadEvents& events);

}  // namespace zor
