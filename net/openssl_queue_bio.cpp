#include "net/openssl_queue_bio.h"

namespace zor {

namespace {

TzorQueueBIOData& DataOf(BIO* bio) { return *static_cast<TzorQueueBIOData*>(BIO_get_data(bio)); }
TzorByteQueue& QueueOf(BIO* bio) { return DataOf(bio).queue; }

int ReadQueue(BIO* bio, char* out, size_t size, size_t* read) {
  BIO_clear_retry_flags(bio);
  TzorQueueBIOData& data = DataOf(bio);
  *read = data.queue.Take(out, size);
  if (*read == 0 && data.source && size > 0) *read = (*data.source)({out, size});
  if (*read > 0) return 1;
  BIO_set_retry_read(bio);  // more is to come: the connection feeds the queue
  return 0;
}

int WriteQueue(BIO* bio, const char* in, size_t size, size_t* written) {
  BIO_clear_retry_flags(bio);
  QueueOf(bio).Append(std::string_view(in, size));
  *written = size;
  return 1;
}

long ControlQueue(BIO* bio, int command, long, void*) {
  switch (command) {
    case BIO_CTRL_FLUSH:
      return 1;  // the connection sends what was written
    case BIO_CTRL_PENDING:
    case BIO_CTRL_WPENDING:
      return static_cast<long>(QueueOf(bio).Size());
    default:
      return 0;
  }
}

const BIO_METHOD* QueueMethod() {
  static const BIO_METHOD* const method = [] {
    BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "zor queue");
    if (made) {
      BIO_meth_set_read_ex(made, ReadQueue);
      BIO_meth_set_write_ex(made, WriteQueue);
      BIO_meth_set_ctrl(made, ControlQueue);
    }
    return made;
  }();
  return method;
}

}  // namespace

BIO* NewQueueBIO(TzorQueueBIOData& data) {
  const BIO_METHOD* method = QueueMethod();
  BIO* bio = method ? BIO_new(method) : nullptr;
  if (!bio) return nullptr;
  BIO_set_data(bio, &data);
  BIO_set_init(bio, 1);
  return bio;
}

}  // namespace zor
