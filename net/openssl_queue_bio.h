#pragma once
// The OpenSSL engine's ciphertext queues, one each way, seen by OpenSSL as
// BIOs. Unlike memory BIOs they neither clear the bytes they grow by nor move
// the unread rest forward on every write, and their whole content can be
// handed over without a copy.
#include <openssl/bio.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace zor {

// Bytes read from the front and appended at the back, readable and writable
// by OpenSSL through the BIO that NewBIO makes.
class TzorQueueBIO {
 public:
  // A BIO over this queue, for SSL_set_bio (which takes it over). The queue
  // must outlive the BIO. Reads of an empty queue ask to be retried.
  BIO* NewBIO();

  size_t Size() const { return data_.size() - start_; }
  void Append(std::string_view bytes);
  // Moves at most `max` bytes to `out`; returns how many.
  size_t Take(char* out, size_t max);
  // Moves everything to the end of `out`; an empty `out` takes the storage.
  void TakeAll(std::string& out);

 private:
  std::string data_;
  size_t start_ = 0;  // bytes before it were taken already
};

}  // namespace zor
