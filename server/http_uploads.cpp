#include "server/http_uploads.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/files.h"
#include "base/text.h"
#include "server/multipart_decoder.h"
#include "websocket/ws_types.h"

namespace zor {

namespace {

// An upload file being written; removed unless it was completed.
class UploadFile {
 public:
  UploadFile() = default;
  UploadFile(const UploadFile&) = delete;
  UploadFile& operator=(const UploadFile&) = delete;
  ~UploadFile() { Abandon(); }

  // Creates folder/name, or folder/stem_N.ext when that exists.
  void Create(const std::filesystem::path& folder, const std::string& name) {
    const std::filesystem::path base(name);
    for (int attempt = 0; attempt < 1000; ++attempt) {
      path_ = folder / (attempt == 0 ? base
                                      : std::filesystem::path(base.stem().string() + "_" + std::to_string(attempt) +
                                                              base.extension().string()));
      fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
      if (fd_ >= 0) return;
      if (errno != EEXIST) break;
    }
    throw TzorWSException("Cannot create the upload file " + path_.string() + ": " + std::strerror(errno));
  }
  void Write(std::string_view bytes) {
    if (!WriteAllBytes(fd_, bytes))
      throw TzorWSException("Cannot write the upload file " + path_.string() + ": " + std::strerror(errno));
  }
  // Closes the file and keeps it.
  std::filesystem::path Complete() {
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!closed) throw TzorWSException("Cannot write the upload file " + path_.string());
    return std::exchange(path_, {});
  }
  bool Open() const { return fd_ >= 0; }

 private:
  void Abandon() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
    std::error_code ec;
    std::filesystem::remove(path_, ec);
  }

  std::filesystem::path path_;
  int fd_ = -1;
};

}  // namespace

bool IsFileUpload(const TzorHTTPUploadFilesServer& options, const TzorHTTPServerRequest& request) {
  return options.StreamType == pstFileStream && options.RemoveBoundaries &&
         static_cast<int64_t>(request.PostStream.size()) >= options.MinSize &&
         ContainsText(request.ContentType, "multipart/form-data");
}

std::string UploadBaseName(std::string_view fileName) {
  const size_t slash = fileName.find_last_of("/\\");
  if (slash != std::string_view::npos) fileName.remove_prefix(slash + 1);
  std::string name;
  for (char c : fileName)
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) name.push_back(c);
  if (name.empty() || name == "." || name == "..") return "upload";
  return name;
}

void SaveMultipartUploads(const TzorHTTPUploadFilesServer& options, const TzorHTTPServerRequest& request,
                          const TzorHTTPUploadEvents& events) {
  TzorHTTPMultipartFormDataDecoder decoder(MultipartBoundary(request.ContentType));
  UploadFile file;
  std::string fieldValue;
  decoder.OnPartBegin = [&](const TzorMultipartPart& part) {
    fieldValue.clear();
    if (!part.IsFile) return;
    std::string name = UploadBaseName(part.FileName);
    std::string folder = options.SaveDirectory;
    if (events.BeforeSaveFile) events.BeforeSaveFile(name, folder);
    file.Create(folder.empty() ? std::filesystem::path(".") : std::filesystem::path(folder), UploadBaseName(name));
  };
  decoder.OnPartData = [&](const TzorMultipartPart& part, std::string_view bytes) {
    if (part.IsFile)
      file.Write(bytes);
    else
      fieldValue.append(bytes);
  };
  decoder.OnPartEnd = [&](const TzorMultipartPart& part) {
    if (!part.IsFile) {
      if (events.ReadInput) events.ReadInput(part.Name, fieldValue);
      return;
    }
    const std::filesystem::path saved = file.Complete();
    if (events.AfterSaveFile) events.AfterSaveFile(saved.filename().string(), saved.parent_path().string());
  };
  decoder.Put(request.PostStream);
  decoder.Finish();
}

}  // namespace zor
