#include "app/playlist_drop.h"

#include <QList>
#include <QMimeData>
#include <QUrl>

namespace wavenard {

TDroppedFile DroppedVoiceTrack(const QMimeData* AData) {
  if (AData == nullptr || !AData->hasUrls()) {
    return {};
  }
  const QList<QUrl> Urls = AData->urls();
  if (Urls.size() > 1) {
    return {QString(), QStringLiteral("Only one voice track can be dropped at a time.")};
  }
  const QString Path = Urls.constFirst().toLocalFile();
  if (!Urls.constFirst().isLocalFile() || !Path.endsWith(QLatin1String(".flac"), Qt::CaseInsensitive)) {
    return {};
  }
  return {Path, QString()};
}

TDropAnswer AnswerPlaylistDrag(const TPlaylistDrag& ADrag) {
  if (ADrag.OwnDrag) {
    return {ADrag.SelectedCount == 1, QString()};
  }
  const TDroppedFile File = DroppedVoiceTrack(ADrag.Data);
  const bool OnARow = ADrag.Row >= 0 && ADrag.Row < ADrag.RowCount;
  return {!File.Path.isEmpty() && !ADrag.Closing && OnARow, File.Reason};
}

Qt::DropAction PlaylistDropAction(bool AOwnDrag) {
  return AOwnDrag ? Qt::MoveAction : Qt::CopyAction;
}

}  // namespace wavenard
