#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <functional>

#include "support/failure.h"

namespace wavenard {

class TPinnedKeys;

// Limits of one exchange. Time: resolving and connecting, and how long a transfer may go
// without moving a byte (sending, waiting for the answer, receiving it).
//
// Speed: once connected, every SlowWindow must move at least MinBytesPerWindow (sent and
// received together), so a station that sends a byte now and then never holds a request for
// long. The default, 300 KiB in 5 minutes (1 KiB/s on average), lies far below any real
// station's answer and below the slowest home uplink an upload goes through (64 kbit/s is
// 8 KiB/s); the window is long enough that a station thinking for a while after an upload
// (up to the stall limit) does not count against it.
//
// Size: an answer body above MaxAnswerBytes is refused. The largest real playlists are a few MB;
// 64 MiB leaves a wide margin and bounds what an answer can make the program hold.
//
// Deadline: the whole exchange, redirects included, must be over within Deadline of its start,
// however steadily the station keeps sending; else edits would act on an ever older list. An
// upload's budget grows with its body instead: UploadDeadline plus the time the body takes at
// UploadBytesPerSecond, the slowest uplink the speed rule allows for.
struct THttpLimits {
  std::chrono::milliseconds Connect{60'000};
  std::chrono::milliseconds Stall{60'000};
  std::chrono::milliseconds SlowWindow{300'000};
  qint64 MinBytesPerWindow = 300 * 1024;
  qint64 MaxAnswerBytes = 64 * 1024 * 1024;
  std::chrono::milliseconds Deadline{120'000};
  std::chrono::milliseconds UploadDeadline{60'000};
  qint64 UploadBytesPerSecond = 8 * 1024;

  // The deadline of an exchange that sends AForm, or no body when it is null.
  std::chrono::milliseconds DeadlineFor(const QByteArray* AForm) const;
};

// The last answer of an exchange, after any redirects.
struct THttpAnswer {
  int Status = 0;
  QByteArray ReasonPhrase;
  QByteArray ContentType;
  QByteArray Body;

  // The status code and the reason phrase, as "500 Internal Server Error".
  QString StatusText() const;
};

// A failure of the exchange; its message is what the user is shown.
class ENetworkFailure : public EFailure {
 public:
  using EFailure::EFailure;
};

// The exchange was given up because its requester went away.
class EExchangeAborted : public EFailure {
 public:
  EExchangeAborted() : EFailure(QStringLiteral("exchange aborted")) {}
};

// How much of a request body has gone out, of how much; called on the exchange's thread.
using TTransferProgress = std::function<void(qint64 ASent, qint64 ATotal)>;

// One HTTP exchange for AURL (checked by ParseRequestURL; an invalid one fails with
// "Invalid URL: " and the URL in double quotes, its password masked). Without AForm a GET,
// with it a POST of AForm as a form. Redirects are followed up to 5 times; a form is only
// sent on by 307 and 308 to the same scheme, host and port, other redirects of a form fail
// before anything goes to the new address. AAborted is asked often and ends the exchange at
// once when it says so. AProgress, when given, hears of the form's bytes sent every few
// milliseconds while they move. Over https the certificate is checked (ApplyTlsOptions, with
// the stations APins holds), and a redirect that leaves the scheme, host or port fails for every
// request, so that nothing goes on in plain text or elsewhere. ALastBytes, when given, is asked
// just before the form's last bytes are handed to the network; when it says no, the exchange is
// given up (EExchangeAborted) with the form incomplete, so the station never has it whole.
//
// A form's exchange whose final answer has a 2xx status line counts once that line is in,
// whatever becomes of the rest of the answer: the station has taken the form.
// Throws ENetworkFailure (an EUntrustedCertificate for a certificate the presenter may choose to
// trust) or EExchangeAborted.
THttpAnswer PerformHttpExchange(const QString& AURL, const QByteArray* AForm, const THttpLimits& ALimits,
                                const std::function<bool()>& AAborted,
                                const TTransferProgress& AProgress = {}, const TPinnedKeys* APins = nullptr,
                                const std::function<bool()>& ALastBytes = {});

}  // namespace wavenard
