#include "bench/sink_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

namespace wavenard::bench {

namespace {

// Reads the head and as much body as it announces; gives up when the peer does.
void ReadRequest(const std::vector<char>& ABuffer, const std::function<long long()>& AReceive) {
  std::string Head;
  size_t HeadEnd = std::string::npos;
  while (HeadEnd == std::string::npos) {
    const long long Count = AReceive();
    if (Count <= 0) {
      return;
    }
    Head.append(ABuffer.data(), static_cast<size_t>(Count));
    HeadEnd = Head.find("\r\n\r\n");
  }
  const size_t LengthAt = Head.find("Content-Length: ");
  long long Left = LengthAt == std::string::npos ? 0 : std::stoll(Head.substr(LengthAt + 16));
  Left -= static_cast<long long>(Head.size() - HeadEnd - 4);
  while (Left > 0) {
    const long long Count = AReceive();
    if (Count <= 0) {
      return;
    }
    Left -= Count;
  }
}

}  // namespace

TSinkServer::TSinkServer(SSL_CTX* ATlsContext) : FContext(ATlsContext) {
  FListener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t Size = sizeof Address;
  ::bind(FListener, reinterpret_cast<sockaddr*>(&Address), Size);
  ::listen(FListener, 4);
  ::getsockname(FListener, reinterpret_cast<sockaddr*>(&Address), &Size);
  FPort = ntohs(Address.sin_port);
  FThread = std::thread([this] { Serve(); });
}

TSinkServer::~TSinkServer() {
  ::shutdown(FListener, SHUT_RDWR);
  FThread.join();
  ::close(FListener);
}

void TSinkServer::Serve() {
  std::vector<char> Buffer(1 << 20);
  for (;;) {
    const int Connection = ::accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
    if (Connection < 0) {
      return;
    }
    SSL* Tls = nullptr;
    if (FContext != nullptr) {
      Tls = SSL_new(FContext);
      SSL_set_fd(Tls, Connection);
      if (SSL_accept(Tls) != 1) {
        SSL_free(Tls);
        ::close(Connection);
        continue;
      }
    }
    ReadRequest(Buffer, [&]() -> long long {
      return Tls != nullptr ? SSL_read(Tls, Buffer.data(), static_cast<int>(Buffer.size()))
                            : ::recv(Connection, Buffer.data(), Buffer.size(), 0);
    });
    const char Answer[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nOK";
    if (Tls != nullptr) {
      SSL_write(Tls, Answer, sizeof Answer - 1);
      SSL_shutdown(Tls);
      SSL_free(Tls);
    } else {
      ::send(Connection, Answer, sizeof Answer - 1, MSG_NOSIGNAL);
    }
    ::close(Connection);
  }
}

}  // namespace wavenard::bench
