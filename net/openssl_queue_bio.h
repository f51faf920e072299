#pragma once
// The OpenSSL engine's ciphertext queues, one each way, seen by OpenSSL as
// BIOs (in place of memory BIOs, which clear what they grow by and move the
// unread rest forward on every write).
#include <openssl/bio.h>

#include "net/byte_queue.h"
#include "net/tls_engine.h"

namespace zor {

// What a queue BIO reads and writes: the queue, and for reads a source to
// read from once the queue is empty (set for the length of one call).
struct TzorQueueBIOData {
  TzorByteQueue queue;
  const TzorCiphertextSource* source = nullptr;
};

// A BIO over `data`, for SSL_set_bio (which takes it over); nullptr when
// OpenSSL cannot make one. The data must outlive the BIO. Reads that find
// nothing ask to be retried.
BIO* NewQueueBIO(TzorQueueBIOData& data);

}  // namespace zor
