#pragma once

#include <condition_variable>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/station-sim/fault_settings.h"
#include "tools/station-sim/track_list.h"

namespace httplib {
class Server;
struct Request;
struct Response;
class ContentReader;
}  // namespace httplib

namespace wavenard::sim {

// A stand-in for the station's remote-control service: an HTTP server on 127.0.0.1 that keeps a
// playlist in memory and answers the playlist, delete, move and voice-track requests on "/".
// Requests are served on the HTTP library's thread pool; every method may be called from any
// thread, also while the server runs.
//
// On "/sim/faults" a GET sets the fault switches from its query (names as in
// TFaultSettings::Set, plus "reset" to return to normal first) and answers with all of them.
class TStationSim final {
 public:
  TStationSim(std::string AUser, std::string APass);
  ~TStationSim();
  TStationSim(const TStationSim&) = delete;
  TStationSim& operator=(const TStationSim&) = delete;

  // Before Start: serve https with this certificate chain and private key (PEM files).
  void SetTls(std::string ACertFile, std::string AKeyFile);
  // Binds 127.0.0.1 at APort (0: a free port) and serves on a thread of its own. False when the
  // port cannot be bound, the certificate or key cannot be loaded, or the server already runs.
  bool Start(int APort = 0);
  // Stops serving; a delayed answer in progress is cut short. Called by the destructor.
  void Stop();
  int Port() const;
  // "http://127.0.0.1:<port>", or "https://..." when serving TLS
  std::string BaseUrl() const;

  void SetPlaylist(TTrackList AList);
  TTrackList Playlist() const;

  // Where uploaded voice tracks are written. Created when missing. Without one, uploads are
  // checked and added to the playlist, but their files are not kept.
  void SetStoreFolder(std::string AFolder);
  std::string StoreFolder() const;

  // Appends one line per request on "/" to the file: method, a blank and the request target as
  // it arrived. False when the file cannot be opened.
  bool SetLogFile(const std::string& AFileName);
  // The same lines, kept in memory from the start.
  std::vector<std::string> Requests() const;

  // How many request bodies were broken off before they had all arrived (and so not served).
  int BrokenBodies() const;

  void SetFaults(TFaultSettings AFaults);
  TFaultSettings Faults() const;
  void SetDelay(int AMs);
  void SetStatus(int AStatus, bool AEmptyBody = false);
  void SetDrop(TDrop ADrop);
  void SetRedirects(int ACount, int AStatus = 0);
  // False when the system does not know the name; empty for UTF-8.
  bool SetPlaylistCharset(const std::string& ACharset);
  // Answers the playlist request with these bytes instead of the document; none to go back.
  void SetPlaylistBody(std::optional<std::string> ABody,
                       std::string AContentType = "text/xml; charset=utf-8");

 private:
  void ServeStation(const httplib::Request& ARequest, httplib::Response& AResponse, const std::string& AForm);
  void ServeFaults(const httplib::Request& ARequest, httplib::Response& AResponse);
  void ServeCommand(const httplib::Request& ARequest, httplib::Response& AResponse);
  void ServeUpload(const std::string& AForm, httplib::Response& AResponse);
  void LogRequest(const httplib::Request& ARequest);
  // Waits out the delay; false when the server stops meanwhile.
  bool Delay(int AMs);
  // Reads the request body, no faster than the bandwidth switch allows; false when it did not
  // arrive whole or the server stops meanwhile.
  bool ReadBody(const httplib::Request& ARequest, const httplib::ContentReader& AReader, std::string& ABody);
  // True when this request is to be redirected once more.
  bool TakeRedirect(const std::string& AKey, int ACount);
  bool Authorized(const std::string& AUser, const std::string& APass) const;
  std::string Scheme() const;

  const std::string FUser;
  const std::string FPass;

  mutable std::mutex FLock;  // guards everything below
  TTrackList FPlaylist;
  std::string FStoreFolder;
  TFaultSettings FFaults;
  std::map<std::string, int> FRedirectsTaken;
  std::vector<std::string> FRequests;
  int FBrokenBodies = 0;
  std::ofstream FLog;
  bool FStopping = false;
  std::condition_variable FStopped;

  std::string FCertFile;
  std::string FKeyFile;
  std::unique_ptr<httplib::Server> FServer;
  std::thread FThread;
  int FPort = 0;
};

}  // namespace wavenard::sim
