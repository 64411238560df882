#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace wavenard::sim {

// How the answer to a request on "/" is broken off.
enum class TDrop {
  None,
  BeforeAnswer,  // the connection is closed without a byte of the answer
  HalfBody,      // status line, headers and half of the body, then the connection is closed
};

// The switches with which the simulator misbehaves on purpose. Requests on "/" go through them
// in this order: the delay, the redirects, then the status or the drop in place of the answer.
struct TFaultSettings {
  int DelayMs = 0;                          // wait before every answer, redirects included
  int Redirects = 0;                        // redirect each request this many times to itself first
  int RedirectStatus = 0;                   // 0: 302 for GET and 307 for POST, so the form is posted again
  int Status = 0;                           // 0: answer normally; else answer every request with this status
  bool EmptyBody = false;                   // with Status: send no body at all instead of a short text
  TDrop Drop = TDrop::None;                 // the request is still carried out; only its answer is lost
  std::string Charset;                      // playlist answer encoded in this set and named in Content-Type
  std::optional<std::string> PlaylistBody;  // sent as is for the playlist
  std::string PlaylistContentType = "text/xml; charset=utf-8";  // goes with PlaylistBody
  int BandwidthKBps = 0;   // 0: read request bodies as fast as they come; else kB/s
  std::string RedirectTo;  // redirects point here ("http://host:port") instead of itself
  std::string UploadContentType = "text/plain; charset=utf-8";  // answer to an accepted upload

  // Sets one switch by the name used on the command line ("delay-ms" or "delay_ms") and on
  // the control path ("delay_ms"). Returns an empty text, or why the name or value is refused.
  std::string Set(std::string_view AName, std::string_view AValue);

  // One line per switch, as the control path answers.
  std::string Describe() const;
};

}  // namespace wavenard::sim
