#include "remote/request_worker.h"

#include <exception>

#include "config/connection_settings.h"
#include "remote/answer_text.h"
#include "remote/playlist_reading.h"
#include "remote/request_url.h"
#include "remote/upload_body.h"
#include "support/failure.h"
#include "support/threads/hand_over.h"

namespace wavenard {

TAPI::TAPI(std::shared_ptr<const TSettings> ASettings, TAPICallback AReadyCallback, THttpLimits ALimits)
    : FReadyCallback(std::move(AReadyCallback)), FSettings(std::move(ASettings)), FLimits(ALimits) {
  SetFreeOnTerminate(true);
}

TAPI::~TAPI() = default;

void TAPI::GetPlaylistContents() {
  FRequest = TRequest::rqPlaylist;
  Start();
}

void TAPI::DeletePlaylistTrack(int AIndex) {
  FRequest = TRequest::rqDelTrack;
  FParam1 = AIndex + 1;
  Start();
}

void TAPI::MovePlaylistTrack(int AFrom, int ATo) {
  FRequest = TRequest::rqMoveTrack;
  FParam1 = AFrom + 1;
  FParam2 = ATo + 1;
  Start();
}

void TAPI::InsertVoiceTrack(int AIndex, const QString& AFN) {
  const TConnectionValues Connection = FSettings->Snapshot();
  const QByteArray Content = ReadVoiceTrackFile(AFN);
  FForm = std::make_unique<QByteArray>(
      BuildUploadBody(Connection.User, Connection.Pass, ExtractFileName(AFN), AIndex, Content));
  Start();
}

void TAPI::Execute() {
  try {
    switch (FRequest) {
      case TRequest::rqPlaylist:
        ExecGetPlaylist();
        break;
      case TRequest::rqDelTrack:
        ExecDeleteTrack();
        break;
      case TRequest::rqMoveTrack:
        ExecMoveTrack();
        break;
    }
  } catch (const std::exception& E) {
    // The receiver counts on one result per worker, also when reading the answer failed.
    if (!FCallbackDone) {
      FPlaylist.reset();
      Fail(TRequestFailure::Station, FailureText(E));
    }
  }
}

bool TAPI::DoRequest(const QString& ARequest, QString& AResponse) {
  AResponse.clear();
  try {
    const TConnectionValues Connection = FSettings->Snapshot();
    if (Connection.Server.isEmpty()) {
      Fail(TRequestFailure::NotConfigured,
           QStringLiteral("Connection not configured. Please open Settings."));
      return false;
    }
    const QString URL = FForm ? BuildURL(Connection, false) : BuildURL(Connection, true) + u'&' + ARequest;
    const auto Aborted = [HandOver = FReadyCallback.HandOver, Upload = FUploadState] {
      return (HandOver && HandOver->Closed()) || (Upload && Upload->Cancelled());
    };
    std::function<bool()> LastBytes;
    if (FUploadState) {
      LastBytes = [Upload = FUploadState] { return Upload->Deliver(); };
    }
    const THttpAnswer Answer = PerformHttpExchange(URL, FForm.get(), FLimits, Aborted, UploadProgress(),
                                                   FPinnedKeys.get(), LastBytes);
    const std::optional<QString> Text = DecodeAnswerBody(Answer.Body, Answer.ContentType);
    // An upload that the station accepted must never look failed: the presenter would send it
    // again. Its answer text is not used.
    if (FForm && Answer.Status >= 200 && Answer.Status <= 299) {
      AResponse = Text.value_or(QString());
      return true;
    }
    if (!Text) {
      Fail(TRequestFailure::Station,
           QStringLiteral("The station's answer is in an unknown character set (\"%1\").")
               .arg(QString::fromLatin1(CharsetOf(Answer.ContentType))));
      return false;
    }
    if (Answer.Status >= 200 && Answer.Status <= 299) {
      AResponse = *Text;
      return true;
    }
    // An empty error text would look like no error at all.
    Fail(TRequestFailure::Http, Text->isEmpty() ? Answer.StatusText() : *Text);
    return false;
  } catch (const EUntrustedCertificate& E) {
    FUntrustedCertificate = E.Certificate();
    Fail(TRequestFailure::Network, E.Message());
    return false;
  } catch (const ECertificateChanged& E) {
    FCertificateChanged = true;
    Fail(TRequestFailure::Network, E.Message());
    return false;
  } catch (const ENetworkFailure& E) {
    Fail(TRequestFailure::Network, E.Message());
    return false;
  } catch (const EExchangeAborted&) {
    // Given up for the receiver that cancelled it, which still hears of it; a receiver that
    // closed hears nothing.
    if (FUploadState && FUploadState->Cancelled() &&
        !(FReadyCallback.HandOver && FReadyCallback.HandOver->Closed())) {
      Fail(TRequestFailure::Cancelled, QStringLiteral("The upload was cancelled."));
    }
    return false;
  }
}

TTransferProgress TAPI::UploadProgress() const {
  if (!FUploadState) {
    return {};
  }
  return [State = FUploadState](qint64 ASent, qint64 ATotal) {
    State->Total = ATotal;
    State->Sent = ASent;
  };
}

void TAPI::CheckResult(const QString& AResponse) {
  FSuccess = AResponse == QLatin1String("OK");
  if (!FSuccess) {
    FError = AResponse;
    FFailure = TRequestFailure::Station;
  }
}

void TAPI::ExecGetPlaylist() {
  QString Response;
  if (!DoRequest(QStringLiteral("action=getplaylist2"), Response)) {
    return;
  }
  FPlaylist = std::make_unique<TPlaylist>();
  // The list an upload's answer would give is of no use to anyone: it is not read, so that
  // nothing in the answer can turn an accepted upload into a failure.
  if (!FForm) {
    ReadPlaylist(Response, *FPlaylist);
  }
  // The answer may be as large as the exchange allows; it is not held while the window takes
  // the rows over.
  Response = QString();
  FSuccess = true;
  DoCallback();
}

void TAPI::ExecDeleteTrack() {
  QString Response;
  if (!DoRequest(QStringLiteral("action=delete&pos=%1").arg(FParam1), Response)) {
    return;
  }
  CheckResult(Response);
  DoCallback();
}

void TAPI::ExecMoveTrack() {
  QString Response;
  if (!DoRequest(QStringLiteral("action=move&pos1=%1&pos2=%2").arg(FParam1).arg(FParam2), Response)) {
    return;
  }
  CheckResult(Response);
  DoCallback();
}

void TAPI::Fail(TRequestFailure AFailure, const QString& AMessage) {
  FSuccess = false;
  FFailure = AFailure;
  FError = AMessage;
  DoCallback();
}

void TAPI::DoCallback() {
  FCallbackDone = true;
  if (FReadyCallback.HandOver && FReadyCallback.Method) {
    FReadyCallback.HandOver->Call([this] { FReadyCallback.Method(*this); });
  }
}

}  // namespace wavenard
