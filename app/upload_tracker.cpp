#include "app/upload_tracker.h"

#include <algorithm>
#include <utility>

#include "app/pending_edits.h"
#include "remote/request_worker.h"

namespace wavenard {

TUploadTracker::TUploadTracker(const TPendingEdits& AEdits, QObject* AParent)
    : QObject(AParent), FEdits(AEdits), FProgressTimer(this) {
  FProgressTimer.setObjectName(QStringLiteral("tmrUploadProgress"));
  FProgressTimer.setInterval(ProgressInterval);
  connect(&FProgressTimer, &QTimer::timeout, this, [this] { Update(); });
}

void TUploadTracker::Add(std::shared_ptr<TUpload> AUpload) {
  FUploads.push_back(std::move(AUpload));
  emit UploadingChanged(true);
  FProgressTimer.start();
  Update();
}

void TUploadTracker::Remove(const std::shared_ptr<TUpload>& AUpload) {
  FUploads.erase(std::remove(FUploads.begin(), FUploads.end(), AUpload), FUploads.end());
  if (FUploads.empty()) {
    FProgressTimer.stop();
    emit UploadingChanged(false);
  }
}

std::shared_ptr<TUpload> TUploadTracker::Sending() const {
  const auto Sending =
      std::find_if(FUploads.begin(), FUploads.end(), [](const std::shared_ptr<TUpload>& AUpload) {
        return !AUpload->State->Cancelled() && !AUpload->State->Delivered();
      });
  return Sending == FUploads.end() ? nullptr : *Sending;
}

bool TUploadTracker::AnyDelivered() const {
  return std::any_of(FUploads.begin(), FUploads.end(),
                     [](const std::shared_ptr<TUpload>& AUpload) { return AUpload->State->Delivered(); });
}

void TUploadTracker::StopFollowing() {
  FProgressTimer.stop();
}

void TUploadTracker::SetPlaylistStatus(const QString& AText) {
  if (AText != FPlaylistStatus) {
    FPlaylistStatus = AText;
    FNotice.clear();
  }
  Update();
}

void TUploadTracker::SetNotice(const QString& AText) {
  FNotice = AText;
  Update();
}

void TUploadTracker::Update() {
  const auto Shown =
      std::find_if(FUploads.begin(), FUploads.end(),
                   [](const std::shared_ptr<TUpload>& AUpload) { return !AUpload->State->Cancelled(); });
  if (Shown != FUploads.end()) {
    // The upload is said when it starts; its figures, a few times a second, are only shown.
    emit StatusChanged(ProgressText(**Shown), !std::exchange((*Shown)->Said, true));
  } else if (!FNotice.isEmpty()) {
    emit StatusChanged(FNotice, true);
  } else if (!FEdits.Empty()) {
    emit StatusChanged(FEdits.StatusText(), true);
  } else {
    emit StatusChanged(FPlaylistStatus, true);
  }
}

QString TUploadTracker::ProgressText(const TUpload& AUpload) {
  const qint64 Total = AUpload.State->Total;
  const qint64 Sent = std::clamp<qint64>(AUpload.State->Sent, 0, Total);
  // Sent is what has gone into the network, not what the station has read: a slow link still
  // carries the rest for a while, and only the answer says whether the track was taken.
  if (AUpload.State->Delivered() && Total > 0 && Sent == Total) {
    return QStringLiteral("Uploading \"%1\": all sent, waiting for the station's answer").arg(AUpload.Name);
  }
  // The body is the file in Base64 and then some: what it has carried is told in file bytes.
  const double Share = Total > 0 ? static_cast<double>(Sent) / static_cast<double>(Total) : 0.0;
  const auto Megabytes = [](double ABytes) { return QString::number(ABytes / 1e6, 'f', 1); };
  return QStringLiteral("Uploading \"%1\": %2 % sent (%3 of %4 MB)")
      .arg(AUpload.Name, QString::number(Total > 0 ? Sent * 100 / Total : 0),
           Megabytes(Share * static_cast<double>(AUpload.FileSize)),
           Megabytes(static_cast<double>(AUpload.FileSize)));
}

}  // namespace wavenard
