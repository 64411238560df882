// station-sim: a stand-in for the station's remote-control service, for tests and the demo.

#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>

#include "tools/station-sim/station_sim.h"

namespace {

const char* const Usage = R"(Usage: station-sim [options]
  --port N               port on 127.0.0.1 (default 0: a free one)
  --playlist FILE        playlist file: one track per line, tab-separated title, duration
                         (m:ss), and optionally type, artist, file name; "#" starts a comment
  --user U, --pass P     the account the station accepts (default demo / demo)
  --store DIR            folder for uploaded voice tracks (default: not kept)
  --log FILE             append "METHOD target" for every request on "/"
  --tls-cert FILE        serve https with this PEM certificate (chain); needs --tls-key
  --tls-key FILE         the certificate's PEM private key
Faults (also settable while running: GET /sim/faults?name=value&...):
  --delay-ms N           wait N ms before every answer
  --redirects N          redirect every request N times to itself first
  --redirect-status N    301, 302, 303, 307 or 308 (default 302 for GET, 307 for POST)
  --status N             answer every request with this status and a short text
  --empty-body           ... and without any body
  --drop MODE            none, before (close without answering) or half (close after half the body)
  --charset NAME         encode the playlist in this character set
  --playlist-body TEXT   answer the playlist request with TEXT instead
  --content-type TEXT    Content-Type going with --playlist-body
  --bandwidth-kbps N     read request bodies at N kB/s at most (0: as fast as they come)
  --redirect-to URL      redirects point to this address ("http://host:port") instead
  --upload-content-type TEXT  Content-Type of the "OK" to an accepted upload
)";

int Fail(const std::string& AText) {
  std::cerr << "station-sim: " << AText << "\n";
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  int Port = 0;
  std::string User = "demo";
  std::string Pass = "demo";
  std::string PlaylistFile;
  std::string StoreFolder;
  std::string LogFile;
  std::string TlsCert;
  std::string TlsKey;
  wavenard::sim::TFaultSettings Faults;

  for (int I = 1; I < argc; ++I) {
    std::string Option = argv[I];
    if (Option == "--help" || Option == "-h") {
      std::cout << Usage;
      return 0;
    }
    if (Option.rfind("--", 0) != 0) {
      return Fail("unexpected argument \"" + Option + "\"\n" + Usage);
    }
    Option.erase(0, 2);
    std::string Value;
    const size_t Equals = Option.find('=');
    if (Equals != std::string::npos) {
      Value = Option.substr(Equals + 1);
      Option.erase(Equals);
    } else if (Option != "empty-body") {
      if (I + 1 >= argc) {
        return Fail("--" + Option + " needs a value");
      }
      Value = argv[++I];
    }
    if (Option == "port") {
      try {
        size_t Used = 0;
        Port = std::stoi(Value, &Used);
        if (Used != Value.size() || Port < 0 || Port > 65535) {
          throw std::out_of_range(Value);
        }
      } catch (const std::exception&) {
        return Fail("invalid port \"" + Value + "\"");
      }
    } else if (Option == "playlist") {
      PlaylistFile = Value;
    } else if (Option == "user") {
      User = Value;
    } else if (Option == "pass") {
      Pass = Value;
    } else if (Option == "store") {
      StoreFolder = Value;
    } else if (Option == "log") {
      LogFile = Value;
    } else if (Option == "tls-cert") {
      TlsCert = Value;
    } else if (Option == "tls-key") {
      TlsKey = Value;
    } else if (const std::string Refusal = Faults.Set(Option, Value); !Refusal.empty()) {
      return Fail(Refusal);
    }
  }

  // Signals are taken by the main thread alone, so the server's threads must not see them.
  sigset_t Signals;
  sigemptyset(&Signals);
  sigaddset(&Signals, SIGINT);
  sigaddset(&Signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &Signals, nullptr);

  if (TlsCert.empty() != TlsKey.empty()) {
    return Fail("--tls-cert and --tls-key go together");
  }

  wavenard::sim::TStationSim Station(User, Pass);
  if (!TlsCert.empty()) {
    Station.SetTls(TlsCert, TlsKey);
  }
  if (!PlaylistFile.empty()) {
    try {
      Station.SetPlaylist(wavenard::sim::TTrackList::Load(PlaylistFile));
    } catch (const wavenard::sim::TPlaylistFileError& AError) {
      return Fail(PlaylistFile + ": " + AError.what());
    }
  }
  Station.SetStoreFolder(StoreFolder);
  Station.SetFaults(Faults);
  if (!LogFile.empty() && !Station.SetLogFile(LogFile)) {
    return Fail("cannot open the log file \"" + LogFile + "\"");
  }
  if (!Station.Start(Port)) {
    return Fail(TlsCert.empty() ? "cannot listen on 127.0.0.1:" + std::to_string(Port)
                                : "cannot listen on 127.0.0.1:" + std::to_string(Port) +
                                      " with the certificate \"" + TlsCert + "\" and key \"" + TlsKey + "\"");
  }
  std::cerr << "station-sim: " << Station.Playlist().Count() << " tracks, user \"" << User << "\", "
            << (StoreFolder.empty() ? std::string("voice tracks not kept")
                                    : "voice tracks stored in " + StoreFolder)
            << "\n";
  std::cout << "listening on " << Station.BaseUrl() << std::endl;

  int Signal = 0;
  sigwait(&Signals, &Signal);
  Station.Stop();
  return 0;
}
