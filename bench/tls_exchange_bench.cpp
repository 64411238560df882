// What https costs on loopback, against plain HTTP in the same run: a playlist refresh (one
// exchange, a fresh connection and handshake each time, as every worker makes it; median of 20)
// and the upload's transfer rate (MB/s of body bytes to a server that only reads it).
#include <benchmark/benchmark.h>
#include <openssl/ssl.h>

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <cstdlib>
#include <string>

#include "bench/sink_server.h"
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

// A server context with the test certificate, for as long as the run lasts.
SSL_CTX* ServerContext() {
  static SSL_CTX* const Context = [] {
    SSL_CTX* Made = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate_chain_file(Made, CertificateFile("server.pem").c_str());
    SSL_CTX_use_PrivateKey_file(Made, CertificateFile("server.key").c_str(), SSL_FILETYPE_PEM);
    return Made;
  }();
  return Context;
}

void PostUploadForm(benchmark::State& AState) {
  const bool Tls = AState.range(1) != 0;
  Certificates();
  const QByteArray Form =
      "user=studio&pass=secret&action=wavenard&fn=take+1.flac&pos=3&vt=" + QByteArray(AState.range(0), 'A');
  const wavenard::bench::TSinkServer Server(Tls ? ServerContext() : nullptr);
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
