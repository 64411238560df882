#include "tools/station-sim/fault_settings.h"

#include <charconv>

#include "tools/station-sim/charset.h"

namespace wavenard::sim {

namespace {

bool ParseInt(std::string_view AText, int AMin, int AMax, int& AValue) {
  int Value = 0;
  const auto [End, Error] = std::from_chars(AText.data(), AText.data() + AText.size(), Value);
  if (AText.empty() || Error != std::errc() || End != AText.data() + AText.size() || Value < AMin ||
      Value > AMax) {
    return false;
  }
  AValue = Value;
  return true;
}

bool ParseFlag(std::string_view AText, bool& AValue) {
  if (AText == "1" || AText == "true" || AText == "on" || AText == "yes" || AText.empty()) {
    AValue = true;
  } else if (AText == "0" || AText == "false" || AText == "off" || AText == "no") {
    AValue = false;
  } else {
    return false;
  }
  return true;
}

const char* DropName(TDrop ADrop) {
  switch (ADrop) {
    case TDrop::BeforeAnswer:
      return "before";
    case TDrop::HalfBody:
      return "half";
    case TDrop::None:
      break;
  }
  return "none";
}

}  // namespace

std::string TFaultSettings::Set(std::string_view AName, std::string_view AValue) {
  std::string Name(AName);
  for (char& Char : Name) {
    if (Char == '-') {
      Char = '_';
    }
  }
  const auto Refuse = [&](const char* AExpected) {
    return "invalid value \"" + std::string(AValue) + "\" for " + Name + ": expected " + AExpected;
  };
  if (Name == "delay_ms") {
    return ParseInt(AValue, 0, 600000, DelayMs) ? std::string() : Refuse("0 to 600000");
  }
  if (Name == "redirects") {
    return ParseInt(AValue, 0, 100, Redirects) ? std::string() : Refuse("0 to 100");
  }
  if (Name == "redirect_status") {
    int Value = 0;
    if (!ParseInt(AValue, 0, 399, Value) ||
        (Value != 0 && Value != 301 && Value != 302 && Value != 303 && Value != 307 && Value != 308)) {
      return Refuse("0, 301, 302, 303, 307 or 308");
    }
    RedirectStatus = Value;
    return {};
  }
  if (Name == "status") {
    int Value = 0;
    if (!ParseInt(AValue, 0, 599, Value) || (Value != 0 && Value < 100)) {
      return Refuse("0 or 100 to 599");
    }
    Status = Value;
    return {};
  }
  if (Name == "empty_body") {
    return ParseFlag(AValue, EmptyBody) ? std::string() : Refuse("1 or 0");
  }
  if (Name == "drop") {
    if (AValue == "none" || AValue == "0") {
      Drop = TDrop::None;
    } else if (AValue == "before") {
      Drop = TDrop::BeforeAnswer;
    } else if (AValue == "half") {
      Drop = TDrop::HalfBody;
    } else {
      return Refuse("none, before or half");
    }
    return {};
  }
  if (Name == "charset") {
    if (!AValue.empty() && !IsKnownCharset(std::string(AValue))) {
      return Refuse("a character set name the system knows, or nothing for UTF-8");
    }
    Charset = AValue;
    return {};
  }
  if (Name == "playlist_body") {
    PlaylistBody = std::string(AValue);
    return {};
  }
  if (Name == "content_type") {
    PlaylistContentType = AValue;
    return {};
  }
  if (Name == "bandwidth_kbps") {
    return ParseInt(AValue, 0, 10000000, BandwidthKBps) ? std::string() : Refuse("0 to 10000000");
  }
  if (Name == "redirect_to") {
    if (!AValue.empty() && AValue.rfind("http://", 0) != 0 && AValue.rfind("https://", 0) != 0) {
      return Refuse("an http:// or https:// address, or nothing for the station itself");
    }
    RedirectTo = AValue;
    return {};
  }
  if (Name == "upload_content_type") {
    UploadContentType = AValue;
    return {};
  }
  return "unknown switch \"" + std::string(AName) + "\"";
}

std::string TFaultSettings::Describe() const {
  std::string Text;
  Text += "delay_ms=" + std::to_string(DelayMs) + "\n";
  Text += "redirects=" + std::to_string(Redirects) + "\n";
  Text += "redirect_status=" + std::to_string(RedirectStatus) + "\n";
  Text += "status=" + std::to_string(Status) + "\n";
  Text += std::string("empty_body=") + (EmptyBody ? "1" : "0") + "\n";
  Text += std::string("drop=") + DropName(Drop) + "\n";
  Text += "charset=" + Charset + "\n";
  Text += "playlist_body=" + (PlaylistBody ? std::to_string(PlaylistBody->size()) + " bytes" : "none") + "\n";
  Text += "content_type=" + PlaylistContentType + "\n";
  Text += "bandwidth_kbps=" + std::to_string(BandwidthKBps) + "\n";
  Text += "redirect_to=" + RedirectTo + "\n";
  Text += "upload_content_type=" + UploadContentType + "\n";
  return Text;
}

}  // namespace wavenard::sim
