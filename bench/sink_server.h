#pragma once

#include <openssl/ssl.h>

#include <thread>

namespace wavenard::bench {

// Reads one request at a time with its Content-Length body, in large reads, and answers "OK", over
// TLS when it is given a server context (which stays the caller's). So a transfer's figure is the
// client's. Ends when it is destroyed.
class TSinkServer final {
 public:
  explicit TSinkServer(SSL_CTX* ATlsContext = nullptr);
  ~TSinkServer();
  TSinkServer(const TSinkServer&) = delete;
  TSinkServer& operator=(const TSinkServer&) = delete;

  int Port() const { return FPort; }

 private:
  void Serve();

  SSL_CTX* FContext;
  int FListener = -1;
  int FPort = 0;
  std::thread FThread;
};

}  // namespace wavenard::bench
