#include "tools/station-sim/station_sim.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <csignal>
#include <filesystem>

#include "tools/station-sim/base64_decoder.h"
#include "tools/station-sim/charset.h"
#include "tools/station-sim/flac_header.h"

namespace wavenard::sim {

namespace {

const char* const TextType = "text/plain; charset=utf-8";
const char* const FormType = "application/x-www-form-urlencoded";

std::optional<int64_t> ParsePosition(const std::string& AText) {
  int64_t Value = 0;
  const auto [End, Error] = std::from_chars(AText.data(), AText.data() + AText.size(), Value);
  if (AText.empty() || Error != std::errc() || End != AText.data() + AText.size()) {
    return std::nullopt;
  }
  return Value;
}

int HexDigit(char AChar) {
  if (AChar >= '0' && AChar <= '9') {
    return AChar - '0';
  }
  if (AChar >= 'A' && AChar <= 'F') {
    return AChar - 'A' + 10;
  }
  if (AChar >= 'a' && AChar <= 'f') {
    return AChar - 'a' + 10;
  }
  return -1;
}

// Form decoding: "+" is a blank and "%" with two hex digits a byte. A "%" without them is
// refused rather than guessed at, so a client that forgets to encode one is noticed.
std::optional<std::string> DecodeFormText(std::string_view AText) {
  std::string Result;
  Result.reserve(AText.size());
  for (size_t I = 0; I < AText.size(); ++I) {
    if (AText[I] == '+') {
      Result.push_back(' ');
    } else if (AText[I] == '%') {
      if (I + 2 >= AText.size()) {
        return std::nullopt;
      }
      const int High = HexDigit(AText[I + 1]);
      const int Low = HexDigit(AText[I + 2]);
      if (High < 0 || Low < 0) {
        return std::nullopt;
      }
      Result.push_back(static_cast<char>(High * 16 + Low));
      I += 2;
    } else {
      Result.push_back(AText[I]);
    }
  }
  return Result;
}

// The fields of a form body; the first of several equal names counts. No result when a name or
// value is not properly encoded.
std::optional<std::map<std::string, std::string>> ParseForm(std::string_view ABody) {
  std::map<std::string, std::string> Fields;
  size_t Start = 0;
  while (Start <= ABody.size()) {
    size_t End = ABody.find('&', Start);
    if (End == std::string_view::npos) {
      End = ABody.size();
    }
    const std::string_view Pair = ABody.substr(Start, End - Start);
    if (!Pair.empty()) {
      const size_t Equals = Pair.find('=');
      const auto Name = DecodeFormText(Pair.substr(0, Equals));
      const auto Value =
          DecodeFormText(Equals == std::string_view::npos ? std::string_view() : Pair.substr(Equals + 1));
      if (!Name || !Value) {
        return std::nullopt;
      }
      Fields.emplace(*Name, *Value);
    }
    Start = End + 1;
  }
  return Fields;
}

bool IsForm(std::string AContentType) {
  std::transform(AContentType.begin(), AContentType.end(), AContentType.begin(),
                 [](char C) { return static_cast<char>(std::tolower(static_cast<unsigned char>(C))); });
  const std::string Type = AContentType.substr(0, AContentType.find(';'));
  return Type.substr(0, Type.find_last_not_of(" \t") + 1) == FormType;
}

// The file name's last component, also after a Windows folder; empty when nothing usable is left.
std::string StoreName(const std::string& AFileName) {
  const size_t Slash = AFileName.find_last_of("/\\");
  std::string Name = Slash == std::string::npos ? AFileName : AFileName.substr(Slash + 1);
  const bool HasControl =
      std::any_of(Name.begin(), Name.end(), [](char C) { return static_cast<unsigned char>(C) < 0x20; });
  if (Name.empty() || Name == "." || Name == ".." || HasControl || !IsValidUtf8(Name) || Name.size() > 255) {
    return {};
  }
  return Name;
}

std::string TitleOf(const std::string& AName) {
  const std::string Extension = ".flac";
  if (AName.size() > Extension.size()) {
    std::string Tail = AName.substr(AName.size() - Extension.size());
    std::transform(Tail.begin(), Tail.end(), Tail.begin(),
                   [](char C) { return static_cast<char>(std::tolower(static_cast<unsigned char>(C))); });
    if (Tail == Extension) {
      return AName.substr(0, AName.size() - Extension.size());
    }
  }
  return AName;
}

// A path in the folder that no file holds yet: "take.flac", "take (2).flac", ...
std::filesystem::path FreePath(const std::filesystem::path& AFolder, const std::string& AName) {
  const std::filesystem::path Name = std::filesystem::u8path(AName);
  std::filesystem::path Path = AFolder / Name;
  for (int Number = 2; std::filesystem::exists(Path); ++Number) {
    Path = AFolder / (Name.stem().string() + " (" + std::to_string(Number) + ")" + Name.extension().string());
  }
  return Path;
}

// Writes through a temporary file so that a failed write leaves no half file under the name.
std::string WriteFile(const std::filesystem::path& APath, const std::string& ABytes) {
  std::filesystem::path Temporary = APath;
  Temporary += ".part";
  {
    std::ofstream File(Temporary, std::ios::binary | std::ios::trunc);
    File.write(ABytes.data(), static_cast<std::streamsize>(ABytes.size()));
    File.close();
    if (!File) {
      std::error_code Ignored;
      std::filesystem::remove(Temporary, Ignored);
      return "cannot write " + Temporary.string();
    }
  }
  std::error_code Error;
  std::filesystem::rename(Temporary, APath, Error);
  if (Error) {
    std::filesystem::remove(Temporary, Error);
    return "cannot rename " + Temporary.string() + ": " + Error.message();
  }
  return {};
}

// The HTTP library gives a handler no access to its connection, so the socket is found by its
// two ends and shut down; the library then finds it closed and gives up on the answer.
void ShutDownConnection(const httplib::Request& ARequest) {
  std::error_code Error;
  for (auto Entry = std::filesystem::directory_iterator("/proc/self/fd", Error);
       !Error && Entry != std::filesystem::directory_iterator(); Entry.increment(Error)) {
    int Socket = -1;
    const std::string Name = Entry->path().filename().string();
    if (std::from_chars(Name.data(), Name.data() + Name.size(), Socket).ec != std::errc()) {
      continue;
    }
    sockaddr_in Local{};
    sockaddr_in Peer{};
    socklen_t LocalSize = sizeof Local;
    socklen_t PeerSize = sizeof Peer;
    if (getsockname(Socket, reinterpret_cast<sockaddr*>(&Local), &LocalSize) != 0 ||
        getpeername(Socket, reinterpret_cast<sockaddr*>(&Peer), &PeerSize) != 0 ||
        Local.sin_family != AF_INET || Peer.sin_family != AF_INET) {
      continue;
    }
    if (ntohs(Local.sin_port) == ARequest.local_port && ntohs(Peer.sin_port) == ARequest.remote_port) {
      shutdown(Socket, SHUT_RDWR);
      return;
    }
  }
}

// Sends the status line, the headers with the full length and half of the body, then fails the
// transfer so that the library closes the connection.
void BreakOffHalfway(httplib::Response& AResponse) {
  auto Body = std::make_shared<std::string>(std::move(AResponse.body));
  AResponse.body.clear();
  const std::string ContentType = AResponse.get_header_value("Content-Type");
  AResponse.headers.erase("Content-Type");
  AResponse.set_content_provider(std::max<size_t>(Body->size(), 1), ContentType,
                                 [Body](size_t AOffset, size_t, httplib::DataSink& ASink) {
                                   if (AOffset == 0 && Body->size() >= 2) {
                                     ASink.write(Body->data(), Body->size() / 2);
                                   }
                                   return false;
                                 });
}

}  // namespace

TStationSim::TStationSim(std::string AUser, std::string APass)
    : FUser(std::move(AUser)), FPass(std::move(APass)) {}

TStationSim::~TStationSim() {
  Stop();
}

bool TStationSim::Start(int APort) {
  std::lock_guard Guard(FLock);
  if (FServer) {
    return false;
  }
  // A client that hangs up while an answer is written must not end the whole process.
  std::signal(SIGPIPE, SIG_IGN);
  std::unique_ptr<httplib::Server> Server;
  if (FCertFile.empty()) {
    Server = std::make_unique<httplib::Server>();
  } else {
    Server = std::make_unique<httplib::SSLServer>(FCertFile.c_str(), FKeyFile.c_str());
    if (!Server->is_valid()) {
      return false;
    }
  }
  Server->set_keep_alive_timeout(1);
  // Without the library's default SO_REUSEPORT, a port another server listens on is refused
  // instead of shared. Without delay, as a station's web server sends: over TLS the library
  // writes an answer's head and body apart, and the body would wait for the client's delayed
  // acknowledgement.
  Server->set_socket_options([](socket_t ASocket) {
    const int On = 1;
    setsockopt(ASocket, SOL_SOCKET, SO_REUSEADDR, &On, sizeof On);
    setsockopt(ASocket, IPPROTO_TCP, TCP_NODELAY, &On, sizeof On);
  });
  Server->set_pre_routing_handler([this](const httplib::Request& ARequest, httplib::Response&) {
    if (ARequest.path.rfind("/sim/", 0) != 0) {
      LogRequest(ARequest);
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  Server->Get("/sim/faults", [this](const httplib::Request& ARequest, httplib::Response& AResponse) {
    ServeFaults(ARequest, AResponse);
  });
  Server->Get("/", [this](const httplib::Request& ARequest, httplib::Response& AResponse) {
    ServeStation(ARequest, AResponse, {});
  });
  // With a content reader the library leaves the body to us: it would refuse a form body
  // above a few kilobytes, and voice tracks are much larger.
  Server->Post("/", [this](const httplib::Request& ARequest, httplib::Response& AResponse,
                           const httplib::ContentReader& AReader) {
    std::string Body;
    if (!ReadBody(ARequest, AReader, Body)) {
      // A body broken off (a cancelled upload) is never taken for a whole one.
      {
        std::lock_guard Guard(FLock);
        ++FBrokenBodies;
      }
      AResponse.status = 400;
      AResponse.set_content("The request body arrived incomplete", TextType);
      return;
    }
    ServeStation(ARequest, AResponse, Body);
  });
  // Unknown paths get a text; an empty body on "/" is a fault that was asked for.
  Server->set_error_handler([](const httplib::Request& ARequest, httplib::Response& AResponse) {
    if (AResponse.body.empty() && ARequest.path != "/" && AResponse.status == 404) {
      AResponse.set_content("Not found", TextType);
    }
  });
  int Port = APort;
  if (APort == 0) {
    Port = Server->bind_to_any_port("127.0.0.1");
  } else if (!Server->bind_to_port("127.0.0.1", APort)) {
    Port = -1;
  }
  if (Port <= 0) {
    return false;
  }
  FPort = Port;
  FStopping = false;
  FServer = std::move(Server);
  FThread = std::thread([Server = FServer.get()] { Server->listen_after_bind(); });
  // The library ignores a stop request that comes before its loop runs, so wait for the loop.
  for (int Tries = 0; !FServer->is_running() && Tries < 5000; ++Tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void TStationSim::Stop() {
  {
    std::lock_guard Guard(FLock);
    if (!FServer) {
      return;
    }
    FStopping = true;
    FServer->stop();
  }
  FStopped.notify_all();
  FThread.join();
  std::lock_guard Guard(FLock);
  FServer.reset();
}

int TStationSim::Port() const {
  std::lock_guard Guard(FLock);
  return FPort;
}

void TStationSim::SetTls(std::string ACertFile, std::string AKeyFile) {
  std::lock_guard Guard(FLock);
  FCertFile = std::move(ACertFile);
  FKeyFile = std::move(AKeyFile);
}

std::string TStationSim::Scheme() const {
  std::lock_guard Guard(FLock);
  return FCertFile.empty() ? "http" : "https";
}

std::string TStationSim::BaseUrl() const {
  return Scheme() + "://127.0.0.1:" + std::to_string(Port());
}

void TStationSim::SetPlaylist(TTrackList AList) {
  std::lock_guard Guard(FLock);
  FPlaylist = std::move(AList);
}

TTrackList TStationSim::Playlist() const {
  std::lock_guard Guard(FLock);
  return FPlaylist;
}

void TStationSim::SetStoreFolder(std::string AFolder) {
  std::lock_guard Guard(FLock);
  FStoreFolder = std::move(AFolder);
}

std::string TStationSim::StoreFolder() const {
  std::lock_guard Guard(FLock);
  return FStoreFolder;
}

bool TStationSim::SetLogFile(const std::string& AFileName) {
  std::lock_guard Guard(FLock);
  FLog = std::ofstream(AFileName, std::ios::app);
  return FLog.is_open();
}

std::vector<std::string> TStationSim::Requests() const {
  std::lock_guard Guard(FLock);
  return FRequests;
}

int TStationSim::BrokenBodies() const {
  std::lock_guard Guard(FLock);
  return FBrokenBodies;
}

void TStationSim::SetFaults(TFaultSettings AFaults) {
  std::lock_guard Guard(FLock);
  FFaults = std::move(AFaults);
  FRedirectsTaken.clear();
}

TFaultSettings TStationSim::Faults() const {
  std::lock_guard Guard(FLock);
  return FFaults;
}

void TStationSim::SetDelay(int AMs) {
  std::lock_guard Guard(FLock);
  FFaults.DelayMs = std::max(0, AMs);
}

void TStationSim::SetStatus(int AStatus, bool AEmptyBody) {
  std::lock_guard Guard(FLock);
  FFaults.Status = AStatus;
  FFaults.EmptyBody = AEmptyBody;
}

void TStationSim::SetDrop(TDrop ADrop) {
  std::lock_guard Guard(FLock);
  FFaults.Drop = ADrop;
}

void TStationSim::SetRedirects(int ACount, int AStatus) {
  std::lock_guard Guard(FLock);
  FFaults.Redirects = std::max(0, ACount);
  FFaults.RedirectStatus = AStatus;
  FRedirectsTaken.clear();
}

bool TStationSim::SetPlaylistCharset(const std::string& ACharset) {
  if (!ACharset.empty() && !IsKnownCharset(ACharset)) {
    return false;
  }
  std::lock_guard Guard(FLock);
  FFaults.Charset = ACharset;
  return true;
}

void TStationSim::SetPlaylistBody(std::optional<std::string> ABody, std::string AContentType) {
  std::lock_guard Guard(FLock);
  FFaults.PlaylistBody = std::move(ABody);
  FFaults.PlaylistContentType = std::move(AContentType);
}

void TStationSim::LogRequest(const httplib::Request& ARequest) {
  const std::string Line = ARequest.method + " " + ARequest.target;
  std::lock_guard Guard(FLock);
  FRequests.push_back(Line);
  if (FLog.is_open()) {
    FLog << Line << std::endl;
  }
}

bool TStationSim::Delay(int AMs) {
  std::unique_lock Guard(FLock);
  return !FStopped.wait_for(Guard, std::chrono::milliseconds(AMs), [this] { return FStopping; });
}

bool TStationSim::ReadBody(const httplib::Request& ARequest, const httplib::ContentReader& AReader,
                           std::string& ABody) {
  const auto Start = std::chrono::steady_clock::now();
  const bool Read = AReader([&](const char* AData, size_t ALength) {
    ABody.append(AData, ALength);
    // Looked at for every piece, so that a link can be opened up while a body arrives.
    const int Rate = Faults().BandwidthKBps;
    if (Rate <= 0) {
      return true;
    }
    // One kB/s is one byte a millisecond.
    const auto Due = Start + std::chrono::microseconds(ABody.size() * 1000 / static_cast<size_t>(Rate));
    std::unique_lock Guard(FLock);
    return !FStopped.wait_until(Guard, Due, [this] { return FStopping; });
  });
  if (!Read) {
    return false;
  }
  const std::string Length = ARequest.get_header_value("Content-Length");
  return Length.empty() || Length == std::to_string(ABody.size());
}

bool TStationSim::TakeRedirect(const std::string& AKey, int ACount) {
  std::lock_guard Guard(FLock);
  int& Taken = FRedirectsTaken[AKey];
  if (Taken < ACount) {
    ++Taken;
    return true;
  }
  FRedirectsTaken.erase(AKey);
  return false;
}

bool TStationSim::Authorized(const std::string& AUser, const std::string& APass) const {
  return AUser == FUser && APass == FPass;
}

void TStationSim::ServeFaults(const httplib::Request& ARequest, httplib::Response& AResponse) {
  std::lock_guard Guard(FLock);
  TFaultSettings Faults = ARequest.has_param("reset") ? TFaultSettings() : FFaults;
  for (const auto& [Name, Value] : ARequest.params) {
    if (Name == "reset") {
      continue;
    }
    const std::string Refusal = Faults.Set(Name, Value);
    if (!Refusal.empty()) {
      AResponse.status = 400;
      AResponse.set_content(Refusal + "\n", TextType);
      return;
    }
  }
  FFaults = std::move(Faults);
  FRedirectsTaken.clear();
  AResponse.set_content(FFaults.Describe(), TextType);
}

void TStationSim::ServeStation(const httplib::Request& ARequest, httplib::Response& AResponse,
                               const std::string& AForm) {
  const TFaultSettings Faults = this->Faults();
  if (Faults.DelayMs > 0 && !Delay(Faults.DelayMs)) {
    AResponse.status = 503;
    AResponse.set_content("The station is shutting down", TextType);
    return;
  }
  if (Faults.Redirects > 0 &&
      TakeRedirect(ARequest.method + " " + ARequest.remote_addr + " " + ARequest.target, Faults.Redirects)) {
    const int Status = Faults.RedirectStatus != 0  ? Faults.RedirectStatus
                       : ARequest.method == "POST" ? 307
                                                   : 302;
    const std::string Host = ARequest.has_header("Host") ? ARequest.get_header_value("Host")
                                                         : "127.0.0.1:" + std::to_string(Port());
    AResponse.status = Status;
    AResponse.set_header(
        "Location",
        (Faults.RedirectTo.empty() ? Scheme() + "://" + Host : Faults.RedirectTo) + ARequest.target);
    AResponse.set_content("Moved", TextType);
    return;
  }
  if (Faults.Status != 0) {
    AResponse.status = Faults.Status;
    if (!Faults.EmptyBody) {
      AResponse.set_content("Simulated answer with status " + std::to_string(Faults.Status), TextType);
    }
  } else if (ARequest.method == "POST") {
    if (IsForm(ARequest.get_header_value("Content-Type"))) {
      ServeUpload(AForm, AResponse);
    } else {
      AResponse.status = 400;
      AResponse.set_content(std::string("Expected a form of type ") + FormType, TextType);
    }
  } else {
    ServeCommand(ARequest, AResponse);
  }
  if (Faults.Drop == TDrop::BeforeAnswer) {
    ShutDownConnection(ARequest);
  } else if (Faults.Drop == TDrop::HalfBody) {
    BreakOffHalfway(AResponse);
  }
}

void TStationSim::ServeCommand(const httplib::Request& ARequest, httplib::Response& AResponse) {
  if (!ARequest.has_param("user") || !ARequest.has_param("pass") ||
      !Authorized(ARequest.get_param_value("user"), ARequest.get_param_value("pass"))) {
    AResponse.status = 401;
    AResponse.set_content("Wrong user name or password", TextType);
    return;
  }
  const std::string Action = ARequest.get_param_value("action");
  const auto Answer = [&AResponse](const std::string& AText) { AResponse.set_content(AText, TextType); };
  if (Action == "getplaylist2") {
    std::unique_lock Guard(FLock);
    if (FFaults.PlaylistBody) {
      AResponse.set_content(*FFaults.PlaylistBody, FFaults.PlaylistContentType);
      return;
    }
    if (FFaults.Charset.empty()) {
      AResponse.set_content(FPlaylist.ToXml(), "text/xml; charset=utf-8");
      return;
    }
    const std::string Charset = FFaults.Charset;
    const std::string Xml = FPlaylist.ToXml(Charset);
    Guard.unlock();
    AResponse.set_content(EncodeXml(Xml, Charset).value_or(Xml), "text/xml; charset=" + Charset);
  } else if (Action == "delete") {
    const auto Position = ParsePosition(ARequest.get_param_value("pos"));
    std::lock_guard Guard(FLock);
    Answer(Position && FPlaylist.Delete(*Position) ? "OK" : "Invalid position");
  } else if (Action == "move") {
    const auto From = ParsePosition(ARequest.get_param_value("pos1"));
    const auto To = ParsePosition(ARequest.get_param_value("pos2"));
    std::lock_guard Guard(FLock);
    Answer(From && To && FPlaylist.Move(*From, *To) ? "OK" : "Invalid position");
  } else if (Action == "wavenard") {
    Answer("Voice tracks are posted as a form");
  } else {
    Answer("Unknown action");
  }
}

void TStationSim::ServeUpload(const std::string& AForm, httplib::Response& AResponse) {
  const auto Fail = [&AResponse](int AStatus, const std::string& AText) {
    AResponse.status = AStatus;
    AResponse.set_content(AText, TextType);
  };
  const auto Form = ParseForm(AForm);
  if (!Form) {
    Fail(400, "The form is not properly encoded");
    return;
  }
  const auto Field = [&Form](const std::string& AName) {
    const auto Found = Form->find(AName);
    return Found == Form->end() ? std::optional<std::string>() : Found->second;
  };
  const auto User = Field("user");
  const auto Pass = Field("pass");
  if (!User || !Pass || !Authorized(*User, *Pass)) {
    Fail(401, "Wrong user name or password");
    return;
  }
  if (Field("action").value_or("") != "wavenard") {
    AResponse.set_content("Unknown action", TextType);
    return;
  }
  const std::string Name = StoreName(Field("fn").value_or(""));
  if (Name.empty()) {
    Fail(400, "Invalid file name");
    return;
  }
  const auto Position = ParsePosition(Field("pos").value_or(""));
  if (!Position) {
    Fail(400, "Invalid position");
    return;
  }
  const auto Bytes = DecodeBase64(Field("vt").value_or(""));
  if (!Bytes) {
    Fail(400, "The voice track is not valid Base64");
    return;
  }
  const auto Info = ReadFlacHeader(*Bytes);
  if (!Info) {
    Fail(400, "The voice track is not a FLAC file");
    return;
  }
  TTrack Track;
  Track.Type = "VoiceTrack";
  Track.Title = TitleOf(Name);
  Track.DurationMs = Info->DurationMs();
  Track.FileName = Name;
  Track.AddedBy = *User;

  std::lock_guard Guard(FLock);
  if (!FStoreFolder.empty()) {
    std::error_code Error;
    std::filesystem::create_directories(FStoreFolder, Error);
    const std::filesystem::path Path = FreePath(FStoreFolder, Name);
    const std::string Failure =
        Error ? "cannot create " + FStoreFolder + ": " + Error.message() : WriteFile(Path, *Bytes);
    if (!Failure.empty()) {
      Fail(500, "Cannot store the voice track: " + Failure);
      return;
    }
    Track.FileName = Path.string();
  }
  FPlaylist.Insert(*Position, std::move(Track));
  AResponse.set_content("OK", FFaults.UploadContentType);
}

}  // namespace wavenard::sim
