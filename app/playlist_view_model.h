#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QColor>
#include <QTimer>
#include <vector>

class QMimeData;

namespace wavenard {

// Where the playlist view's cell texts come from.
class TCellTextSource {
 public:
  virtual ~TCellTextSource() = default;
  // The text of a cell, asked for while the view needs it.
  virtual QString CellText(int ARow, int AColumn) const = 0;
};

// The rows of the playlist view. It stores no rows: the owner says how many there are, and
// every cell text is asked of the text source when the view needs it.
class TPlaylistViewModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int ColumnCount = 3;
  // The type of the rows dragged out of a playlist view.
  static inline const QString MimeType = QStringLiteral("application/x-wavenard-playlist-rows");

  explicit TPlaylistViewModel(QObject* AParent = nullptr);
  Q_DISABLE_COPY_MOVE(TPlaylistViewModel)

  // The source outlives the model or is taken away first; without one every cell is empty.
  void SetTextSource(const TCellTextSource* ASource) { FTextSource = ASource; }

  // Binds the rows anew. With the count unchanged the rows stay and only their texts are
  // asked for again, so selection, focus and scroll position stay by row number; otherwise
  // the rows are rebuilt and the selection is lost.
  void Rebind(int ARowCount);
  // Swaps the marks of two rows along with their items.
  void ExchangeMarks(int ARow1, int ARow2);
  // Gives the rows flagged in ARows (by row number) a soft background for AMilliseconds; a
  // later call replaces the marks. Rebinding keeps them: they are set before the rows change.
  void MarkNewRows(std::vector<bool> ARows, int AMilliseconds = NewRowMarkTime);
  bool Marked(int ARow) const;
  static constexpr int NewRowMarkTime = 4000;
  static inline const QColor NewRowColor{0xFF, 0xF4, 0xCC};

  // Shows the rows flagged in ARows (by row number) greyed: an edit naming them is on its
  // way. A later call replaces the flags.
  void SetPendingRows(std::vector<bool> ARows);
  bool Pending(int ARow) const;
  static inline const QColor PendingRowColor{0x80, 0x80, 0x80};

  // Whether the data was dragged out of a view of this model, in this process.
  bool IsOwnDrag(const QMimeData* AData) const;

  int rowCount(const QModelIndex& AParent = QModelIndex()) const override;
  int columnCount(const QModelIndex& AParent = QModelIndex()) const override;
  QVariant data(const QModelIndex& AIndex, int ARole = Qt::DisplayRole) const override;
  QVariant headerData(int ASection, Qt::Orientation AOrientation, int ARole = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& AIndex) const override;

  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& AIndexes) const override;
  Qt::DropActions supportedDragActions() const override;
  Qt::DropActions supportedDropActions() const override;
  bool canDropMimeData(const QMimeData* AData, Qt::DropAction AAction, int ARow, int AColumn,
                       const QModelIndex& AParent) const override;
  bool dropMimeData(const QMimeData* AData, Qt::DropAction AAction, int ARow, int AColumn,
                    const QModelIndex& AParent) override;

 private:
  const TCellTextSource* FTextSource = nullptr;
  int FRowCount = 0;
  std::vector<bool> FNewRows;
  std::vector<bool> FPendingRows;
  QTimer FMarkTimer;
  // Identifies this model's drags, so a drag from another list or program is told apart.
  QByteArray FDragToken;
};

}  // namespace wavenard
