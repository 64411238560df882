#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <vector>

namespace wavenard {

class TPendingEdits;
struct TUploadState;

// An insert in flight, as the status line follows it.
struct TUpload {
  QString Name;
  int Position = 0;
  qint64 FileSize = 0;
  std::shared_ptr<TUploadState> State;
  // Its progress has been said once; the later figures are shown, not said.
  bool Said = false;
};

// The inserts in flight and what the status line shows: the first upload not cancelled, else a
// notice, else the edits on their way, else the playlist's status. While an upload is followed
// its progress is shown a few times a second.
class TUploadTracker final : public QObject {
  Q_OBJECT

 public:
  // How often the status line follows an upload's progress.
  static constexpr int ProgressInterval = 250;

  // The edits outlive the tracker.
  explicit TUploadTracker(const TPendingEdits& AEdits, QObject* AParent = nullptr);
  Q_DISABLE_COPY_MOVE(TUploadTracker)

  // Follows AUpload from now on and shows it.
  void Add(std::shared_ptr<TUpload> AUpload);
  // Stops following AUpload; the caller shows what comes next.
  void Remove(const std::shared_ptr<TUpload>& AUpload);
  bool Empty() const { return FUploads.empty(); }
  // The first upload still sending, which a cancel is about; null when none is.
  std::shared_ptr<TUpload> Sending() const;
  // Whether an upload has gone out whole and waits for the station's answer.
  bool AnyDelivered() const;
  // The window is closing: the progress is no longer followed.
  void StopFollowing();

  // A new playlist status also ends the notice; the status line is shown anew.
  void SetPlaylistStatus(const QString& AText);
  // A notice stays until the status text changes otherwise; an empty one ends it.
  void SetNotice(const QString& AText);
  // Ends the notice without showing anything; the caller shows what comes next.
  void ClearNotice() { FNotice.clear(); }
  const QString& Notice() const { return FNotice; }
  // Shows the status line as it stands now.
  void Update();

  // The progress text of AUpload, in the file's bytes.
  static QString ProgressText(const TUpload& AUpload);

 signals:
  // The status line is to show AText; ASpoken: it is also said when its line changes.
  void StatusChanged(const QString& AText, bool ASpoken);
  // Whether any upload is followed.
  void UploadingChanged(bool AUploading);

 private:
  const TPendingEdits& FEdits;
  std::vector<std::shared_ptr<TUpload>> FUploads;
  QTimer FProgressTimer;
  QString FPlaylistStatus;
  QString FNotice;
};

}  // namespace wavenard
