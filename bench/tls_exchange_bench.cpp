// What https costs on loopback, against plain HTTP in the same run: a playlist refresh (one
// exchange, a fresh connection and handshake each time, as every worker makes it; median of 20)
// and the upload's transfer rate (MB/s of body bytes to a server that only reads it).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "remote/http_exchange.h"
#include "tools/station-sim/station_sim.h"

namespace {

// The test certificates, made once for the whole run.
const QTemporaryDir& Certificates() {
  static const QTemporaryDir Dir;
  static const bool Made = [] {
    const std::string Command =
        "sh '" WAVENARD_TEST_CERTIFICATES_SCRIPT "' '" + Dir.path().toStdString() + "' >/dev/null";
    if (std::system(Command.c_str()) != 0) {
      std::abort();
    }
    ::setenv("SSL_CERT_FILE", (Dir.path() + QStringLiteral("/ca.pem")).toLocal8Bit().constData(), 1);
    ::unsetenv("http_proxy");
    ::unsetenv("https_proxy");
    ::unsetenv("all_proxy");
    return true;
  }();
  static_cast<void>(Made);
  return Dir;
}

std::string CertificateFile(const char* AName) {
  return (Certificates().path() + u'/' + QString::fromLatin1(AName)).toStdString();
}

void RefreshPlaylist(benchmark::State& AState) {
  const bool Tls = AState.range(0) != 0;
  wavenard::sim::TTrackList List;
  for (int I = 0; I < 60; ++I) {
    wavenard::sim::TTrack Track;
    Track.Title = "Artist " + std::to_string(I) + " - A title of ordinary length";
    Track.DurationMs = 180000 + I * 1000;
    List.Append(Track);
  }
  wavenard::sim::TStationSim Station("demo", "demo");
  Station.SetPlaylist(List);
  if (Tls) {
    Station.SetTls(CertificateFile("server.pem"), CertificateFile("server.key"));
  }
  if (!Station.Start()) {
    AState.SkipWithError("the simulator did not start");
    return;
  }
  const QString URL = QStringLiteral("%1://localhost:%2/?user=demo&pass=demo&action=getplaylist2")
                          .arg(Tls ? QStringLiteral("https") : QStringLiteral("http"))
                          .arg(Station.Port());
  for (auto _ : AState) {
    const wavenard::THttpAnswer Answer =
        wavenard::PerformHttpExchange(URL, nullptr, wavenard::THttpLimits{}, [] { return false; });
    if (Answer.Status != 200) {
      AState.SkipWithError("the refresh failed");
      break;
    }
    benchmark::DoNotOptimize(Answer.Body.constData());
  }
  AState.SetLabel(Tls ? "https" : "http");
}

// Reads one request at a time with its Content-Length body and answers "OK", over TLS or not,
// in large reads, so that the figure is the client's. Ends when it is shut down.
class TSinkServer {
 public:
  explicit TSinkServer(bool ATls) {
    if (ATls) {
      FContext = SSL_CTX_new(TLS_server_method());
      SSL_CTX_use_certificate_chain_file(FContext, CertificateFile("server.pem").c_str());
      SSL_CTX_use_PrivateKey_file(FContext, CertificateFile("server.key").c_str(), SSL_FILETYPE_PEM);
    }
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
    SSL_CTX_free(FContext);
  }
  TSinkServer(const TSinkServer&) = delete;
  TSinkServer& operator=(const TSinkServer&) = delete;

  int Port() const { return FPort; }

 private:
  void Serve() {
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
      const auto Receive = [&]() -> long long {
        return Tls != nullptr ? SSL_read(Tls, Buffer.data(), static_cast<int>(Buffer.size()))
                              : ::recv(Connection, Buffer.data(), Buffer.size(), 0);
      };
      Handle(Buffer, Receive);
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

  static void Handle(const std::vector<char>& ABuffer, const std::function<long long()>& AReceive) {
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

  SSL_CTX* FContext = nullptr;
  int FListener = -1;
  int FPort = 0;
  std::thread FThread;
};

void PostUploadForm(benchmark::State& AState) {
  const bool Tls = AState.range(1) != 0;
  Certificates();
  const QByteArray Form =
      "user=studio&pass=secret&action=wavenard&fn=take+1.flac&pos=3&vt=" + QByteArray(AState.range(0), 'A');
  TSinkServer Server(Tls);
  const QString URL = QStringLiteral("%1://localhost:%2")
                          .arg(Tls ? QStringLiteral("https") : QStringLiteral("http"))
                          .arg(Server.Port());
  for (auto _ : AState) {
    const wavenard::THttpAnswer Answer =
        wavenard::PerformHttpExchange(URL, &Form, wavenard::THttpLimits{}, [] { return false; });
    if (Answer.Status != 200) {
      AState.SkipWithError("the upload failed");
      break;
    }
  }
  AState.SetBytesProcessed(AState.iterations() * Form.size());
  AState.SetLabel(Tls ? "https" : "http");
}

BENCHMARK(RefreshPlaylist)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Repetitions(20)
    ->DisplayAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(PostUploadForm)
    ->Args({100 << 20, 0})
    ->Args({100 << 20, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
