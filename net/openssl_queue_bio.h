#pragma once
// The OpenSSL engine's ciphertext queues, one each way, seen by OpenSSL as
// BIOs (in place of memory BIOs, which clear what they grow by and move the
// unread rest forward on every write).
#include <openssl/bio.h>

#include "net/byte_queue.h"

namespace zor {

// A BIO over `queue`, for SSL_set_bio (which takes it over); nullptr when
// OpenSSL cannot make one. The queue must outlive the BIO. Reads of an empty
// queue ask to be retried.
BIO* NewQueueBIO(TzorByteQueue& queue);

}  // namespace zor
