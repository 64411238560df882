#include "tests/tools/sim_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <regex>

namespace wavenard::test {

std::string FlacFile(uint32_t ASampleRate, uint64_t ATotalSamples, size_t AAudioBytes) {
  std::string Info(34, '\0');
  Info[0] = 0x10;  // min and max block size 4096
  Info[2] = 0x10;
  Info[10] = static_cast<char>(ASampleRate >> 12);
  Info[11] = static_cast<char>(ASampleRate >> 4);
  // Low 4 bits of the rate, 3 bits channels-1 (stereo), 1 high bit of bits-per-sample-1 (15).
  Info[12] = static_cast<char>(((ASampleRate & 0x0F) << 4) | (1 << 1) | 0);
  Info[13] = static_cast<char>((15 & 0x0F) << 4 | ((ATotalSamples >> 32) & 0x0F));
  for (int I = 0; I < 4; ++I) {
    Info[14 + I] = static_cast<char>(ATotalSamples >> (8 * (3 - I)));
  }
  std::string File = "fLaC";
  File += static_cast<char>(0x80);  // last metadata block, type STREAMINFO
  File += std::string("\0\0\x22", 3);
  File += Info;
  for (size_t I = 0; I < AAudioBytes; ++I) {
    File += static_cast<char>(0xFF - I % 251);
  }
  return File;
}

std::string Base64Lines(const std::string& ABytes) {
  static const char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string Text;
  size_t LineLength = 0;
  for (size_t I = 0; I < ABytes.size(); I += 3) {
    const size_t Left = ABytes.size() - I;
    uint32_t Bits = static_cast<uint8_t>(ABytes[I]) << 16;
    if (Left > 1) {
      Bits |= static_cast<uint8_t>(ABytes[I + 1]) << 8;
    }
    if (Left > 2) {
      Bits |= static_cast<uint8_t>(ABytes[I + 2]);
    }
    Text += Alphabet[(Bits >> 18) & 63];
    Text += Alphabet[(Bits >> 12) & 63];
    Text += Left > 1 ? Alphabet[(Bits >> 6) & 63] : '=';
    Text += Left > 2 ? Alphabet[Bits & 63] : '=';
    LineLength += 4;
    if (LineLength == 76) {
      Text += "\r\n";
      LineLength = 0;
    }
  }
  return Text;
}

std::string FormValue(const std::string& AText) {
  static const char Hex[] = "0123456789ABCDEF";
  std::string Result;
  for (unsigned char Char : AText) {
    if (std::isalnum(Char) || Char == '-' || Char == '.' || Char == '_' || Char == '~') {
      Result += static_cast<char>(Char);
    } else if (Char == ' ') {
      Result += '+';
    } else {
      Result += '%';
      Result += Hex[Char >> 4];
      Result += Hex[Char & 15];
    }
  }
  return Result;
}

std::string UploadForm(const std::string& AUser, const std::string& APass, const std::string& AFileName,
                       const std::string& APosition, const std::string& AFileBytes) {
  return "user=" + FormValue(AUser) + "&pass=" + FormValue(APass) +
         "&action=wavenard&fn=" + FormValue(AFileName) + "&pos=" + APosition +
         "&vt=" + FormValue(Base64Lines(AFileBytes));
}

std::unique_ptr<httplib::Client> SimClient(int APort) {
  auto Client = std::make_unique<httplib::Client>("127.0.0.1", APort);
  Client->set_url_encode(false);
  Client->set_connection_timeout(5);
  Client->set_read_timeout(10);
  return Client;
}

std::string Query(const std::string& AUser, const std::string& APass, const std::string& AAction) {
  return "/?user=" + FormValue(AUser) + "&pass=" + FormValue(APass) + "&" + AAction;
}

namespace {

std::string Unescape(const std::string& AValue) {
  static const std::pair<const char*, const char*> Entities[] = {
      {"&lt;", "<"},  {"&gt;", ">"},   {"&quot;", "\""}, {"&apos;", "'"},
      {"&#9;", "\t"}, {"&#10;", "\n"}, {"&#13;", "\r"},  {"&amp;", "&"}};
  std::string Result;
  for (size_t I = 0; I < AValue.size();) {
    bool Replaced = false;
    for (const auto& [Entity, Text] : Entities) {
      if (AValue.compare(I, std::strlen(Entity), Entity) == 0) {
        Result += Text;
        I += std::strlen(Entity);
        Replaced = true;
        break;
      }
    }
    if (!Replaced) {
      Result += AValue[I++];
    }
  }
  return Result;
}

}  // namespace

std::vector<TTrackAttributes> TracksOf(const std::string& AXml) {
  std::vector<TTrackAttributes> Tracks;
  static const std::regex Element("<TRACK((?:\\s+[A-Z]+=\"[^\"<]*\")*)\\s*/>");
  static const std::regex Attribute("([A-Z]+)=\"([^\"]*)\"");
  for (auto It = std::sregex_iterator(AXml.begin(), AXml.end(), Element); It != std::sregex_iterator();
       ++It) {
    TTrackAttributes Track;
    const std::string Attributes = (*It)[1];
    for (auto A = std::sregex_iterator(Attributes.begin(), Attributes.end(), Attribute);
         A != std::sregex_iterator(); ++A) {
      Track.emplace((*A)[1], Unescape((*A)[2]));
    }
    Tracks.push_back(std::move(Track));
  }
  return Tracks;
}

std::vector<std::string> TitlesOf(const std::string& AXml) {
  std::vector<std::string> Titles;
  for (const TTrackAttributes& Track : TracksOf(AXml)) {
    Titles.push_back(Track.count("CASTTITLE") ? Track.at("CASTTITLE") : "?");
  }
  return Titles;
}

std::string RawExchange(int APort, const std::string& ARequest) {
  const int Socket = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_port = htons(static_cast<uint16_t>(APort));
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string Answer;
  if (connect(Socket, reinterpret_cast<sockaddr*>(&Address), sizeof Address) == 0 &&
      send(Socket, ARequest.data(), ARequest.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(ARequest.size())) {
    timeval Timeout{10, 0};
    setsockopt(Socket, SOL_SOCKET, SO_RCVTIMEO, &Timeout, sizeof Timeout);
    char Buffer[4096];
    ssize_t Read = 0;
    while ((Read = recv(Socket, Buffer, sizeof Buffer, 0)) > 0) {
      Answer.append(Buffer, static_cast<size_t>(Read));
    }
  }
  close(Socket);
  return Answer;
}

}  // namespace wavenard::test
