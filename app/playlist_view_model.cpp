#include "app/playlist_view_model.h"

#include <QMimeData>
#include <QUuid>
#include <algorithm>

namespace wavenard {

TPlaylistViewModel::TPlaylistViewModel(QObject* AParent)
    : QAbstractTableModel(AParent),
      FMarkTimer(this),
      FDragToken(QUuid::createUuid().toByteArray(QUuid::WithoutBraces)) {
  FMarkTimer.setSingleShot(true);
  connect(&FMarkTimer, &QTimer::timeout, this, [this] {
    FNewRows.clear();
    if (FRowCount > 0)
      emit dataChanged(index(0, 0), index(FRowCount - 1, ColumnCount - 1), {Qt::BackgroundRole});
  });
}

void TPlaylistViewModel::MarkNewRows(std::vector<bool> ARows, int AMilliseconds) {
  FNewRows = std::move(ARows);
  if (std::find(FNewRows.begin(), FNewRows.end(), true) == FNewRows.end()) {
    FNewRows.clear();
    FMarkTimer.stop();
    return;
  }
  FMarkTimer.start(AMilliseconds);
}

bool TPlaylistViewModel::Marked(int ARow) const {
  return ARow >= 0 && static_cast<size_t>(ARow) < FNewRows.size() && FNewRows[static_cast<size_t>(ARow)];
}

void TPlaylistViewModel::SetPendingRows(std::vector<bool> ARows) {
  if (ARows == FPendingRows) {
    return;
  }
  FPendingRows = std::move(ARows);
  if (FRowCount > 0)
    emit dataChanged(index(0, 0), index(FRowCount - 1, ColumnCount - 1),
                     {Qt::ForegroundRole, Qt::AccessibleDescriptionRole});
}

bool TPlaylistViewModel::Pending(int ARow) const {
  return ARow >= 0 && static_cast<size_t>(ARow) < FPendingRows.size() &&
         FPendingRows[static_cast<size_t>(ARow)];
}

void TPlaylistViewModel::ExchangeMarks(int ARow1, int ARow2) {
  const bool Mark1 = Marked(ARow1);
  const bool Mark2 = Marked(ARow2);
  // Unequal marks mean a mark is set, so the flags cover both rows.
  if (Mark1 != Mark2) {
    FNewRows.at(static_cast<size_t>(ARow1)) = Mark2;
    FNewRows.at(static_cast<size_t>(ARow2)) = Mark1;
  }
}

void TPlaylistViewModel::Rebind(int ARowCount) {
  ARowCount = std::max(ARowCount, 0);
  if (ARowCount == FRowCount) {
    if (FRowCount > 0)
      emit dataChanged(index(0, 0), index(FRowCount - 1, ColumnCount - 1), {Qt::DisplayRole});
    return;
  }
  beginResetModel();
  FRowCount = ARowCount;
  endResetModel();
}

bool TPlaylistViewModel::IsOwnDrag(const QMimeData* AData) const {
  return AData && AData->hasFormat(MimeType) && AData->data(MimeType) == FDragToken;
}

int TPlaylistViewModel::rowCount(const QModelIndex& AParent) const {
  return AParent.isValid() ? 0 : FRowCount;
}

int TPlaylistViewModel::columnCount(const QModelIndex& AParent) const {
  return AParent.isValid() ? 0 : ColumnCount;
}

QVariant TPlaylistViewModel::data(const QModelIndex& AIndex, int ARole) const {
  if (ARole == Qt::BackgroundRole && AIndex.isValid() && Marked(AIndex.row()))
    return NewRowColor;
  if (ARole == Qt::ForegroundRole && AIndex.isValid() && Pending(AIndex.row()))
    return PendingRowColor;
  if (ARole == Qt::AccessibleDescriptionRole && AIndex.isValid() && Pending(AIndex.row()))
    return QStringLiteral("pending");
  if (ARole != Qt::DisplayRole || !AIndex.isValid())
    return {};
  return FTextSource ? FTextSource->CellText(AIndex.row(), AIndex.column()) : QString();
}

QVariant TPlaylistViewModel::headerData(int ASection, Qt::Orientation AOrientation, int ARole) const {
  static const char* const Captions[ColumnCount] = {"#", "Track Title", "Duration"};
  if (AOrientation != Qt::Horizontal || ARole != Qt::DisplayRole || ASection < 0 || ASection >= ColumnCount)
    return {};
  return QString::fromLatin1(Captions[ASection]);
}

Qt::ItemFlags TPlaylistViewModel::flags(const QModelIndex& AIndex) const {
  if (!AIndex.isValid())
    return Qt::ItemIsDropEnabled;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled |
         Qt::ItemNeverHasChildren;
}

QStringList TPlaylistViewModel::mimeTypes() const {
  return {MimeType};
}

QMimeData* TPlaylistViewModel::mimeData(const QModelIndexList& AIndexes) const {
  if (AIndexes.isEmpty())
    return nullptr;
  auto* Data = new QMimeData;
  Data->setData(MimeType, FDragToken);
  return Data;
}

Qt::DropActions TPlaylistViewModel::supportedDragActions() const {
  return Qt::MoveAction;
}

Qt::DropActions TPlaylistViewModel::supportedDropActions() const {
  return Qt::MoveAction;
}

bool TPlaylistViewModel::canDropMimeData(const QMimeData* AData, Qt::DropAction, int, int,
                                         const QModelIndex&) const {
  return IsOwnDrag(AData);
}

// What a drop does is the owner's business; the model's rows never change through one.
bool TPlaylistViewModel::dropMimeData(const QMimeData*, Qt::DropAction, int, int, const QModelIndex&) {
  return false;
}

}  // namespace wavenard
