#include "base/streams.h"

namespace zor {

void TzorStringStream::SetSize(size_t size) {
  data_.resize(size);
  if (position_ > size) position_ = size;
}

void TzorStringStream::Write(std::string_view bytes) {
  if (position_ + bytes.size() > data_.size()) data_.resize(position_ + bytes.size());
  data_.replace(position_, bytes.size(), bytes);
  position_ += bytes.size();
}

std::string TzorStringStream::Read(size_t count) {
  std::string out = data_.substr(position_, count);
  position_ += out.size();
  return out;
}

void TrimStreamToTail(TzorStringStream& stream, size_t count) {
  if (count > stream.Size()) count = stream.Size();
  stream.SetPosition(stream.Size() - count);
  const std::string tail = stream.Read(count);
  stream.SetSize(count);
  stream.SetPosition(0);
  stream.Write(tail);
}

}  // namespace zor
