// Posting the voice-track form over loopback to a server that only reads it: MB/s of body
// bytes, with and without the progress that the status panel follows (second argument 1).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "remote/http_exchange.h"

namespace {

// Accepts one connection at a time, reads a request with its Content-Length body and answers
// "OK". Ends when it is shut down.
class TSinkServer {
 public:
  TSinkServer() {
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
  ~TSinkServer() {
    ::shutdown(FListener, SHUT_RDWR);
    FThread.join();
    ::close(FListener);
  }
  TSinkServer(const TSinkServer&) = delete;
  TSinkServer& operator=(const TSinkServer&) = delete;

  int Port() const { return FPort; }

 private:
  void Serve() {
    for (;;) {
      const int Connection = ::accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
      if (Connection < 0) {
        return;
      }
      Handle(Connection);
      ::close(Connection);
    }
  }

  static void Handle(int AConnection) {
    std::string Head;
    std::vector<char> Buffer(1 << 20);
    size_t HeadEnd = std::string::npos;
    while (HeadEnd == std::string::npos) {
      const ssize_t Count = ::recv(AConnection, Buffer.data(), Buffer.size(), 0);
      if (Count <= 0) {
        return;
      }
      Head.append(Buffer.data(), static_cast<size_t>(Count));
      HeadEnd = Head.find("\r\n\r\n");
    }
    const size_t LengthAt = Head.find("Content-Length: ");
    long long Left = LengthAt == std::string::npos ? 0 : std::stoll(Head.substr(LengthAt + 16));
    Left -= static_cast<long long>(Head.size() - HeadEnd - 4);
    while (Left > 0) {
      const ssize_t Count = ::recv(AConnection, Buffer.data(), Buffer.size(), 0);
      if (Count <= 0) {
        return;
      }
      Left -= Count;
    }
    const char Answer[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nOK";
    ::send(AConnection, Answer, sizeof Answer - 1, MSG_NOSIGNAL);
  }

  int FListener = -1;
  int FPort = 0;
  std::thread FThread;
};

void PostUploadForm(benchmark::State& AState) {
  ::unsetenv("http_proxy");
  ::unsetenv("all_proxy");
  const QByteArray Form =
      "user=studio&pass=secret&action=wavenard&fn=take+1.flac&pos=3&vt=" + QByteArray(AState.range(0), 'A');
  const bool WithProgress = AState.range(1) != 0;
  TSinkServer Server;
  const QString URL = QStringLiteral("http://127.0.0.1:%1").arg(Server.Port());
  std::atomic<qint64> Sent{0};
  const wavenard::TTransferProgress Progress = [&Sent](qint64 ASent, qint64) { Sent = ASent; };
  for (auto _ : AState) {
    const wavenard::THttpAnswer Answer = wavenard::PerformHttpExchange(
        URL, &Form, wavenard::THttpLimits{}, [] { return false; }, WithProgress ? Progress : nullptr);
    benchmark::DoNotOptimize(Answer.Body.constData());
  }
  AState.SetBytesProcessed(AState.iterations() * Form.size());
  AState.counters["progress"] = WithProgress ? 1 : 0;
}

BENCHMARK(PostUploadForm)
    ->Args({1 << 20, 0})
    ->Args({1 << 20, 1})
    ->Args({100 << 20, 0})
    ->Args({100 << 20, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
