#include "remote/http_exchange.h"

#include <curl/curl.h>

#include <QLocale>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

#include "remote/request_url.h"
#include "remote/tls_checks.h"
#include "support/system_error.h"
#include "support/version.h"

namespace wavenard {

namespace {

using TClock = std::chrono::steady_clock;

constexpr int MaxRedirects = 5;
// How often a waiting transfer looks at its abort flag and its stall limit.
constexpr int PollIntervalMs = 20;

std::once_flag CurlInitialized;

struct TEasyDelete {
  void operator()(CURL* AEasy) const { curl_easy_cleanup(AEasy); }
};
struct TMultiDelete {
  void operator()(CURLM* AMulti) const { curl_multi_cleanup(AMulti); }
};
struct THeaderListDelete {
  void operator()(curl_slist* AList) const { curl_slist_free_all(AList); }
};

// What the callbacks of one transfer fill in.
struct TTransferState {
  THttpAnswer Answer;
  TClock::time_point LastActivity;
  qint64 MaxAnswerBytes = 0;
  bool TooLarge = false;
};

size_t StoreBody(char* AData, size_t ASize, size_t ACount, void* AState) {
  auto* State = static_cast<TTransferState*>(AState);
  const size_t Length = ASize * ACount;
  if (State->Answer.Body.size() + static_cast<qint64>(Length) > State->MaxAnswerBytes) {
    State->TooLarge = true;
    return 0;  // ends the transfer
  }
  State->Answer.Body.append(AData, static_cast<qsizetype>(Length));
  State->LastActivity = TClock::now();
  return Length;
}

// Keeps the code and the reason phrase of the latest status line ("HTTP/1.1 500 Internal
// Server Error").
size_t StoreHeader(char* AData, size_t ASize, size_t ACount, void* AState) {
  auto* State = static_cast<TTransferState*>(AState);
  const size_t Length = ASize * ACount;
  const QByteArray Line = QByteArray(AData, static_cast<qsizetype>(Length)).trimmed();
  if (Line.startsWith("HTTP/")) {
    const qsizetype CodeStart = Line.indexOf(' ');
    const qsizetype ReasonStart = CodeStart < 0 ? -1 : Line.indexOf(' ', CodeStart + 1);
    const QByteArray Code =
        CodeStart < 0 ? QByteArray() : Line.mid(CodeStart + 1, ReasonStart - CodeStart - 1);
    State->Answer.Status = Code.toInt();
    State->Answer.ReasonPhrase = ReasonStart < 0 ? QByteArray() : Line.mid(ReasonStart + 1).trimmed();
  }
  State->LastActivity = TClock::now();
  return Length;
}

// Hands the form to the network piece by piece, so that its last bytes go out only when the
// requester still wants them to.
struct TFormReader {
  const QByteArray* Form = nullptr;
  qsizetype Offset = 0;
  const std::function<bool()>* LastBytes = nullptr;
  bool Refused = false;
};

size_t ReadForm(char* ABuffer, size_t ASize, size_t ACount, void* AReader) {
  auto* Reader = static_cast<TFormReader*>(AReader);
  const qsizetype Left = Reader->Form->size() - Reader->Offset;
  const auto Length = static_cast<qsizetype>(std::min<size_t>(ASize * ACount, static_cast<size_t>(Left)));
  if (Length > 0 && Length == Left && *Reader->LastBytes && !(*Reader->LastBytes)()) {
    Reader->Refused = true;
    return CURL_READFUNC_ABORT;
  }
  std::memcpy(ABuffer, Reader->Form->constData() + Reader->Offset, static_cast<size_t>(Length));
  Reader->Offset += Length;
  return static_cast<size_t>(Length);
}

// A form that goes out again (a redirect, a connection reused that turned out dead) starts
// from where libcurl asks.
int SeekForm(void* AReader, curl_off_t AOffset, int AOrigin) {
  auto* Reader = static_cast<TFormReader*>(AReader);
  if (AOrigin != SEEK_SET || AOffset < 0 || AOffset > Reader->Form->size()) {
    return CURL_SEEKFUNC_CANTSEEK;
  }
  Reader->Offset = static_cast<qsizetype>(AOffset);
  return CURL_SEEKFUNC_OK;
}

bool IsSuccess(int AStatus) {
  return AStatus >= 200 && AStatus <= 299;
}

bool IsRedirect(long AStatus) {
  return AStatus == 301 || AStatus == 302 || AStatus == 303 || AStatus == 307 || AStatus == 308;
}

QString CurlFailureText(CURL* AEasy, CURLcode ACode, const char* AErrorBuffer) {
  const QString CurlText =
      QString::fromUtf8(AErrorBuffer[0] != '\0' ? AErrorBuffer : curl_easy_strerror(ACode));
  if (ACode != CURLE_SEND_ERROR && ACode != CURLE_RECV_ERROR) {
    return CurlText;
  }
  long OsError = 0;
  curl_easy_getinfo(AEasy, CURLINFO_OS_ERRNO, &OsError);
  const QString Reason = OsError != 0 ? SysErrorDescription(static_cast<int>(OsError)) : CurlText;
  const QString Form = ACode == CURLE_SEND_ERROR ? QStringLiteral("Error sending data: (%1) %2")
                                                 : QStringLiteral("Error receiving data: (%1) %2");
  return Form.arg(OsError).arg(Reason);
}

// Drives one transfer of AEasy to its end. The multi interface is used only so that the abort
// flag and the stall limit are looked at every few milliseconds, not once a second.
CURLcode RunTransfer(CURLM* AMulti, CURL* AEasy, TTransferState& AState, const THttpLimits& ALimits,
                     TClock::time_point ADeadline, const std::function<bool()>& AAborted,
                     const std::function<void(curl_off_t)>& ASent) {
  curl_multi_add_handle(AMulti, AEasy);
  struct TRemove {
    CURLM* Multi;
    CURL* Easy;
    ~TRemove() { curl_multi_remove_handle(Multi, Easy); }
  } Remove{AMulti, AEasy};

  AState.LastActivity = TClock::now();
  curl_off_t LastUploaded = 0;
  // The speed rule's window; it starts when the connection stands.
  std::optional<TClock::time_point> WindowStart;
  curl_off_t WindowStartBytes = 0;
  for (;;) {
    int Running = 0;
    if (const CURLMcode Code = curl_multi_perform(AMulti, &Running); Code != CURLM_OK) {
      throw ENetworkFailure(QString::fromUtf8(curl_multi_strerror(Code)));
    }
    if (Running == 0) {
      break;
    }
    if (AAborted && AAborted()) {
      throw EExchangeAborted();
    }
    // Until the connection stands, the connect limit applies; after that, any byte sent or
    // received counts as progress.
    curl_off_t Connected = 0;
    curl_off_t Uploaded = 0;
    curl_easy_getinfo(AEasy, CURLINFO_CONNECT_TIME_T, &Connected);
    curl_easy_getinfo(AEasy, CURLINFO_SIZE_UPLOAD_T, &Uploaded);
    const auto Now = TClock::now();
    if (Uploaded != LastUploaded && ASent) {
      ASent(Uploaded);
    }
    if (Connected == 0 || Uploaded != LastUploaded) {
      AState.LastActivity = Now;
      LastUploaded = Uploaded;
    }
    if (Now - AState.LastActivity >= ALimits.Stall) {
      throw ENetworkFailure(QStringLiteral("The station did not answer in time."));
    }
    if (Now >= ADeadline) {
      throw ENetworkFailure(QStringLiteral("The station's answer took too long; the request was given up."));
    }
    if (Connected != 0) {
      curl_off_t Downloaded = 0;
      curl_easy_getinfo(AEasy, CURLINFO_SIZE_DOWNLOAD_T, &Downloaded);
      const curl_off_t Moved = Uploaded + Downloaded;
      if (!WindowStart) {
        WindowStart = Now;
        WindowStartBytes = Moved;
      } else if (Now - *WindowStart >= ALimits.SlowWindow) {
        if (Moved - WindowStartBytes < ALimits.MinBytesPerWindow) {
          throw ENetworkFailure(
              QStringLiteral("The station's connection is too slow; the request was given up."));
        }
        WindowStart = Now;
        WindowStartBytes = Moved;
      }
    }
    curl_multi_poll(AMulti, nullptr, 0, PollIntervalMs, nullptr);
  }
  if (ASent) {
    curl_off_t Uploaded = 0;
    curl_easy_getinfo(AEasy, CURLINFO_SIZE_UPLOAD_T, &Uploaded);
    ASent(Uploaded);
  }
  CURLcode Result = CURLE_OK;
  int Left = 0;
  while (const CURLMsg* Message = curl_multi_info_read(AMulti, &Left)) {
    if (Message->msg == CURLMSG_DONE) {
      Result = Message->data.result;
    }
  }
  return Result;
}

// Whether the redirect from AFrom to ATo keeps scheme, host and port: the form, with the
// password and the voice track, goes nowhere else. A URL that does not parse is another place.
bool SameOrigin(const char* AFrom, const char* ATo) {
  struct TUrlDelete {
    void operator()(CURLU* AUrl) const { curl_url_cleanup(AUrl); }
  };
  struct TTextDelete {
    void operator()(char* AText) const { curl_free(AText); }
  };
  const auto Origin = [](const char* AURL) -> std::optional<QByteArray> {
    const std::unique_ptr<CURLU, TUrlDelete> Url(curl_url());
    if (!Url || curl_url_set(Url.get(), CURLUPART_URL, AURL, 0) != CURLUE_OK) {
      return std::nullopt;
    }
    QByteArray Result;
    for (const CURLUPart Part : {CURLUPART_SCHEME, CURLUPART_HOST, CURLUPART_PORT}) {
      char* Text = nullptr;
      if (curl_url_get(Url.get(), Part, &Text, CURLU_DEFAULT_PORT) != CURLUE_OK) {
        return std::nullopt;
      }
      const std::unique_ptr<char, TTextDelete> Owned(Text);
      Result += QByteArray(Text).toLower() + '\n';
    }
    return Result;
  };
  const std::optional<QByteArray> From = Origin(AFrom);
  return From && From == Origin(ATo);
}

bool IsHttps(const QByteArray& AURL) {
  return AURL.first(std::min<qsizetype>(AURL.size(), 8)).toLower() == "https://";
}

}  // namespace

std::chrono::milliseconds THttpLimits::DeadlineFor(const QByteArray* AForm) const {
  if (AForm == nullptr) {
    return Deadline;
  }
  return UploadDeadline +
         std::chrono::milliseconds(AForm->size() * 1000 / std::max<qint64>(UploadBytesPerSecond, 1));
}

QString THttpAnswer::StatusText() const {
  const QString Code = QString::number(Status);
  return ReasonPhrase.isEmpty() ? Code : Code + u' ' + QString::fromUtf8(ReasonPhrase);
}

THttpAnswer PerformHttpExchange(const QString& AURL, const QByteArray* AForm, const THttpLimits& ALimits,
                                const std::function<bool()>& AAborted, const TTransferProgress& AProgress,
                                const TPinnedKeys* APins, const std::function<bool()>& ALastBytes) {
  const std::optional<TRequestAddress> Address = ParseRequestURL(AURL);
  if (!Address) {
    throw ENetworkFailure(QStringLiteral("Invalid URL: \"%1\"").arg(MaskPassword(AURL)));
  }
  std::call_once(CurlInitialized, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  const std::unique_ptr<CURL, TEasyDelete> Easy(curl_easy_init());
  const std::unique_ptr<CURLM, TMultiDelete> Multi(curl_multi_init());
  if (!Easy || !Multi) {
    throw ENetworkFailure(QString::fromUtf8(curl_easy_strerror(CURLE_OUT_OF_MEMORY)));
  }

  // Only Host, User-Agent, Content-Length and the form's Content-Type go out.
  std::unique_ptr<curl_slist, THeaderListDelete> Headers;
  const auto AddHeader = [&Headers](const char* AHeader) {
    Headers.reset(curl_slist_append(Headers.release(), AHeader));
  };
  AddHeader("Accept:");
  AddHeader("Expect:");
  if (AForm != nullptr) {
    AddHeader("Content-Type: application/x-www-form-urlencoded");
  }

  TTransferState State;
  State.MaxAnswerBytes = ALimits.MaxAnswerBytes;
  char ErrorBuffer[CURL_ERROR_SIZE] = {};
  CURL* Handle = Easy.get();
  QByteArray URL = Address->TransferURL();
  curl_easy_setopt(Handle, CURLOPT_URL, URL.constData());
  curl_easy_setopt(Handle, CURLOPT_NOSIGNAL, 1L);
  // A name lookup still running when the exchange ends is left behind, not waited for, so a
  // worker never outlives shutdown's wait because of a slow resolver.
  curl_easy_setopt(Handle, CURLOPT_QUICK_EXIT, 1L);
  curl_easy_setopt(Handle, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(Handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(Handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(Handle, CURLOPT_USERAGENT, "Wavenard/" WAVENARD_VERSION);
  curl_easy_setopt(Handle, CURLOPT_HTTPHEADER, Headers.get());
  curl_easy_setopt(Handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(ALimits.Connect.count()));
  curl_easy_setopt(Handle, CURLOPT_ERRORBUFFER, ErrorBuffer);
  curl_easy_setopt(Handle, CURLOPT_WRITEFUNCTION, StoreBody);
  curl_easy_setopt(Handle, CURLOPT_WRITEDATA, &State);
  curl_easy_setopt(Handle, CURLOPT_HEADERFUNCTION, StoreHeader);
  curl_easy_setopt(Handle, CURLOPT_HEADERDATA, &State);
  // Redirects are followed here, so that a form is never turned into a GET on the way.
  curl_easy_setopt(Handle, CURLOPT_FOLLOWLOCATION, 0L);
  ApplyTlsOptions(Handle, *Address, APins);
  TFormReader Reader{AForm, 0, &ALastBytes};
  if (AForm != nullptr) {
    curl_easy_setopt(Handle, CURLOPT_POST, 1L);
    curl_easy_setopt(Handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(AForm->size()));
    curl_easy_setopt(Handle, CURLOPT_READFUNCTION, ReadForm);
    curl_easy_setopt(Handle, CURLOPT_READDATA, &Reader);
    curl_easy_setopt(Handle, CURLOPT_SEEKFUNCTION, SeekForm);
    curl_easy_setopt(Handle, CURLOPT_SEEKDATA, &Reader);
  }

  std::function<void(curl_off_t)> FormSent;
  if (AForm != nullptr && AProgress) {
    FormSent = [&AProgress, Total = AForm->size()](curl_off_t ASent) { AProgress(ASent, Total); };
  }
  const TClock::time_point Deadline = TClock::now() + ALimits.DeadlineFor(AForm);
  for (int Redirects = 0;; ++Redirects) {
    State.Answer = THttpAnswer();
    State.TooLarge = false;
    Reader.Offset = 0;
    ErrorBuffer[0] = '\0';
    CURLcode Code = CURLE_OK;
    try {
      Code = RunTransfer(Multi.get(), Handle, State, ALimits, Deadline, AAborted, FormSent);
    } catch (const ENetworkFailure&) {
      // A stalled or dripping answer after the station said yes to the form.
      if (AForm == nullptr || !IsSuccess(State.Answer.Status)) {
        throw;
      }
    }
    if (Reader.Refused) {
      throw EExchangeAborted();
    }
    // The station took the form; what became of the rest of its answer does not change that.
    if (AForm != nullptr && IsSuccess(State.Answer.Status)) {
      char* ContentType = nullptr;
      curl_easy_getinfo(Handle, CURLINFO_CONTENT_TYPE, &ContentType);
      State.Answer.ContentType = ContentType;
      return std::move(State.Answer);
    }
    if (State.TooLarge) {
      throw ENetworkFailure(QStringLiteral("The station's answer is larger than %1; it was not read.")
                                .arg(QLocale::c().formattedDataSize(ALimits.MaxAnswerBytes, 0)));
    }
    if (Code != CURLE_OK) {
      ThrowIfTlsFailure(Handle, Code, ErrorBuffer, URL, ALimits, AAborted);
      throw ENetworkFailure(CurlFailureText(Handle, Code, ErrorBuffer));
    }
    long Status = 0;
    char* Location = nullptr;
    char* ContentType = nullptr;
    curl_easy_getinfo(Handle, CURLINFO_RESPONSE_CODE, &Status);
    curl_easy_getinfo(Handle, CURLINFO_REDIRECT_URL, &Location);
    curl_easy_getinfo(Handle, CURLINFO_CONTENT_TYPE, &ContentType);
    State.Answer.Status = static_cast<int>(Status);
    if (Location == nullptr || !IsRedirect(Status)) {
      State.Answer.ContentType = ContentType;
      return std::move(State.Answer);
    }
    // 301, 302 and 303 would turn the upload into a GET without its body.
    if (AForm != nullptr && Status != 307 && Status != 308) {
      throw ENetworkFailure(
          QStringLiteral("The station redirected the upload (%1); the voice track was not sent.")
              .arg(State.Answer.StatusText()));
    }
    if (AForm != nullptr && !SameOrigin(URL.constData(), Location)) {
      throw ENetworkFailure(
          QStringLiteral("The station redirected the upload to another address (%1); the voice track was not "
                         "sent there.")
              .arg(MaskPassword(QString::fromUtf8(Location))));
    }
    if (IsHttps(URL) && !SameOrigin(URL.constData(), Location)) {
      throw ENetworkFailure(
          QStringLiteral("The station redirected the request to another address (%1); it was not followed.")
              .arg(MaskPassword(QString::fromUtf8(Location))));
    }
    if (Redirects == MaxRedirects) {
      throw ENetworkFailure(QStringLiteral("Maximum (%1) redirects followed").arg(MaxRedirects));
    }
    URL = Location;
    curl_easy_setopt(Handle, CURLOPT_URL, URL.constData());
  }
}

}  // namespace wavenard
