#pragma once
// A fresh key pair and self-signed certificate, made when the service starts.
#include <string>

namespace zor::pinecone_local {

struct TlsIdentity {
  std::string certificate_pem;
  std::string private_key_pem;
};

// EC P-256 key; the certificate names localhost, 127.0.0.1 and *.pinecone.io
// and is valid from an hour ago for a year.
TlsIdentity MakeSelfSignedIdentity();

}  // namespace zor::pinecone_local
