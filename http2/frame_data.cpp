#include "base/bytes.h"
#include "http2/frames.h"

namespace zor {

void TzorHTTP2_Frame_Data::Assign(const TPersistent& source) {
  const auto* data = dynamic_cast<const TzorHTTP2_Frame_Data*>(&source);
  if (!data) return TzorHTTP2_Frame_Base::Assign(source);
  FEndStream = data->FEndStream;
  FPadded = data->FPadded;
  FStreamIdentifier = data->FStreamIdentifier;
  FData = data->FData;
}

void TzorHTTP2_Frame_Data::DoClear() {
  FData.clear();
  FPadLength = 0;
  FStreamIdentifierRequest = 0;
  FOffset = 0;
}

void TzorHTTP2_Frame_Data::DoReadFlags(uint8_t flags) {
  FEndStream = flags & h2flags::END_STREAM;
  FPadded = flags & h2flags::PADDED;
}

void TzorHTTP2_Frame_Data::DoCheckPayload(std::span<const uint8_t> payload) {
  UnpaddedPayload(payload, FPadded, 0, FPadLength);
}

void TzorHTTP2_Frame_Data::DoReadPayload(std::span<const uint8_t> payload) {
  const std::span<const uint8_t> content = UnpaddedPayload(payload, FPadded, 0, FPadLength);
  FData.assign(content.begin(), content.end());
}

int64_t TzorHTTP2_Frame_Data::WriteData(int64_t limit) {
  const uint8_t last = FEndStream ? h2flags::END_STREAM : 0;
  return WriteFrame(h2ftDATA, last, 0, FStreamIdentifier, FData, limit);
}

void TzorHTTP2_Frame_Data::DoWriteBytes() {
  if (OnWriteDataFrame)
    OnWriteDataFrame(*this);
  else
    WriteData(0);
}

void TzorHTTP2_Frame_Data::SetStream(TzorStringStream& stream) {
  stream.SetPosition(0);
  const std::string content = stream.Read(stream.Size());
  FData.assign(content.begin(), content.end());
  FOffset = 0;
  FEndStream = true;
}

std::string TzorHTTP2_Frame_Data::DataString() const { return BytesToUTF8Text(FData); }

}  // namespace zor
