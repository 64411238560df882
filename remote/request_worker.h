#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "remote/http_exchange.h"
#include "remote/playlist.h"
#include "remote/tls_checks.h"
#include "support/threads/thread.h"

namespace wavenard {

class TAPI;
class THandOver;
class TPinnedKeys;
class TSettings;

// An upload as its receiver follows it from the main thread while the worker runs: how much
// of the body has gone out, and the request to give it up. Shared by both sides.
//
// A cancel can only be kept while the body is incomplete: once its last bytes have been handed
// to the network the station may have it whole and insert it, and only its answer tells. So
// the two ends race for one phase: the receiver's Cancel and the worker's handing over of the
// last bytes, whichever comes first, decides.
struct TUploadState {
  enum class TPhase { Sending, Cancelled, Delivered };

  std::atomic<qint64> Sent{0};
  std::atomic<qint64> Total{0};
  std::atomic<TPhase> Phase{TPhase::Sending};

  // False when the body had gone out whole already: the transfer goes on, its answer decides.
  bool Cancel() {
    TPhase Expected = TPhase::Sending;
    return Phase.compare_exchange_strong(Expected, TPhase::Cancelled) || Expected == TPhase::Cancelled;
  }
  // The worker, just before the last bytes go out; false when the upload was cancelled first.
  bool Deliver() {
    TPhase Expected = TPhase::Sending;
    return Phase.compare_exchange_strong(Expected, TPhase::Delivered) || Expected == TPhase::Delivered;
  }
  bool Cancelled() const { return Phase == TPhase::Cancelled; }
  bool Delivered() const { return Phase == TPhase::Delivered; }
};

// What made a request fail, for a receiver that acts on it; the worker's Error() says it to the
// user.
enum class TRequestFailure {
  None,           // the request succeeded
  Cancelled,      // the upload was cancelled before its body had gone out whole
  NotConfigured,  // no station is set up
  Network,        // the station could not be reached, or its answer not received whole
  Http,           // the station answered with an error status
  Station,        // the station answered but refused the request, or sent what cannot be read
};

// Where a worker delivers its result: the receiver's hand-over to the main thread and the
// method to run there. Once the hand-over is closed nothing is delivered.
struct TAPICallback {
  std::shared_ptr<THandOver> HandOver;
  std::function<void(TAPI& ASender)> Method;
};

// One request to the station's service on a thread of its own. Created suspended and
// self-freeing; exactly one of the four request operations configures and starts it. Its
// callback runs once on the main thread, while the worker waits, on every path unless the
// receiver has closed by then; the worker is freed after its run.
class TAPI final : public TThread {
 public:
  enum class TRequest { rqPlaylist, rqDelTrack, rqMoveTrack };

  // ASettings is shared so that it outlives the worker's reads of it.
  TAPI(std::shared_ptr<const TSettings> ASettings, TAPICallback AReadyCallback, THttpLimits ALimits = {});
  ~TAPI() override;
  Q_DISABLE_COPY_MOVE(TAPI)

  void GetPlaylistContents();
  // AIndex: 0-based row.
  void DeletePlaylistTrack(int AIndex);
  // AFrom, ATo: 0-based rows.
  void MovePlaylistTrack(int AFrom, int ATo);
  // AIndex: the 1-based position the track is to take. Reads and encodes the file AFN here,
  // on the caller's thread, then starts the worker. On EFileFailure the worker is not
  // started and the caller deletes it.
  void InsertVoiceTrack(int AIndex, const QString& AFN);
  // Before InsertVoiceTrack: the upload reports its progress into AState, and ends at once
  // when AState is cancelled before its body has gone out whole; its callback then fails with
  // "The upload was cancelled.".
  void SetUploadState(std::shared_ptr<TUploadState> AState) { FUploadState = std::move(AState); }
  // Before the request operation: the stations whose own certificates the presenter trusts.
  void SetPinnedKeys(std::shared_ptr<const TPinnedKeys> APins) { FPinnedKeys = std::move(APins); }

  // For the receiver, while the callback runs.
  const TPlaylist* Playlist() const { return FPlaylist.get(); }
  // The receiver takes the playlist over; the worker no longer frees it.
  std::unique_ptr<TPlaylist> TakePlaylist() { return std::move(FPlaylist); }
  const QString& Error() const { return FError; }
  bool Success() const { return FSuccess; }
  TRequestFailure Failure() const { return FFailure; }
  // After a failure because the station's certificate is not trusted: that certificate, which
  // the presenter may choose to trust.
  const std::optional<TServerCertificate>& UntrustedCertificate() const { return FUntrustedCertificate; }
  // After a failure because the station showed another key than the one trusted for it.
  bool CertificateChanged() const { return FCertificateChanged; }

 protected:
  void Execute() override;

 private:
  bool DoRequest(const QString& ARequest, QString& AResponse);
  void CheckResult(const QString& AResponse);
  void ExecGetPlaylist();
  void ExecDeleteTrack();
  void ExecMoveTrack();
  void DoCallback();
  void Fail(TRequestFailure AFailure, const QString& AMessage);
  // Reports the upload's progress into FUploadState; nothing without one.
  TTransferProgress UploadProgress() const;

  TAPICallback FReadyCallback;
  std::unique_ptr<TPlaylist> FPlaylist;
  QString FError;
  TRequestFailure FFailure = TRequestFailure::None;
  TRequest FRequest = TRequest::rqPlaylist;
  bool FSuccess = false;
  int FParam1 = 0;
  int FParam2 = 0;
  std::unique_ptr<QByteArray> FForm;

  const std::shared_ptr<const TSettings> FSettings;
  const THttpLimits FLimits;
  std::shared_ptr<TUploadState> FUploadState;
  std::shared_ptr<const TPinnedKeys> FPinnedKeys;
  std::optional<TServerCertificate> FUntrustedCertificate;
  bool FCertificateChanged = false;
  bool FCallbackDone = false;
};

}  // namespace wavenard
