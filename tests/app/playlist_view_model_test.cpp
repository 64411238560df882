#include <gtest/gtest.h>

#include <QSignalSpy>
#include <vector>

#include "tests/app/view_fixture.h"

namespace wavenard {
namespace {

TEST(PlaylistViewModel, DisplayTextComesFromTheHandlerForThatCell) {
  std::vector<std::pair<int, int>> Asked;
  const TFunctionTexts Texts([&](int ARow, int AColumn) {
    Asked.emplace_back(ARow, AColumn);
    return QString("%1/%2").arg(ARow).arg(AColumn);
  });
  TPlaylistViewModel Model;
  Model.Rebind(4);
  const QVariant Unsourced = Model.data(Model.index(3, 2));
  EXPECT_TRUE(Unsourced.isValid() && Unsourced.toString().isEmpty())
      << "without a source every cell is empty";
  Model.SetTextSource(&Texts);
  EXPECT_EQ(Model.rowCount(), 4);
  EXPECT_EQ(Model.columnCount(), 3);
  EXPECT_EQ(Model.data(Model.index(3, 2)).toString(), "3/2");
  EXPECT_EQ(Asked, (std::vector<std::pair<int, int>>{{3, 2}}));
  EXPECT_FALSE(Model.data(Model.index(3, 2), Qt::ToolTipRole).isValid()) << "no cell hints";
  EXPECT_FALSE(Model.data(Model.index(4, 0)).isValid());
  EXPECT_EQ(Asked.size(), 1u) << "only the display text asks";
  EXPECT_EQ(Model.headerData(0, Qt::Horizontal).toString(), "#");
  EXPECT_EQ(Model.headerData(1, Qt::Horizontal).toString(), "Track Title");
  EXPECT_EQ(Model.headerData(2, Qt::Horizontal).toString(), "Duration");
}

// New rows keep their soft background across the rebind that shows them, go with their
// track when it is exchanged, and lose it when the time is up.
TEST(PlaylistViewModel, MarkedRowsHaveABackgroundForAWhile) {
  TPlaylistViewModel Model;
  Model.Rebind(3);
  const auto Background = [&](int ARow) { return Model.data(Model.index(ARow, 1), Qt::BackgroundRole); };
  Model.MarkNewRows({false, true, false});
  Model.Rebind(3);
  EXPECT_FALSE(Background(0).isValid());
  EXPECT_EQ(Background(1).value<QColor>(), TPlaylistViewModel::NewRowColor);
  Model.ExchangeMarks(1, 2);
  EXPECT_FALSE(Model.Marked(1));
  EXPECT_TRUE(Model.Marked(2));
  Model.ExchangeMarks(0, 1);
  EXPECT_TRUE(Model.Marked(2)) << "two unmarked rows change nothing";

  QSignalSpy Changed(&Model, &TPlaylistViewModel::dataChanged);
  Model.MarkNewRows({false, false, true}, 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Model.Marked(2); }));
  ASSERT_EQ(Changed.size(), 1);
  EXPECT_EQ(Changed[0][2].value<QList<int>>(), QList<int>{Qt::BackgroundRole});
  Model.MarkNewRows({true}, 1000);
  Model.MarkNewRows({false, false, false});
  EXPECT_FALSE(Model.Marked(0)) << "a refresh with nothing new clears the marks";
}

TEST(PlaylistViewModel, RebindWithTheSameCountKeepsSelectionAndScrollPosition) {
  TViewFixture F(100);
  TPlaylistViewModel& Model = F.Model;
  F.View.SetVerticalScrollOffset(40);
  F.View.selectionModel()->select(Model.index(45, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
  QSignalSpy Reset(&Model, &QAbstractItemModel::modelReset);
  QSignalSpy Changed(&Model, &QAbstractItemModel::dataChanged);

  Model.Rebind(100);
  EXPECT_EQ(Reset.count(), 0);
  ASSERT_EQ(Changed.count(), 1);
  EXPECT_EQ(Changed[0][0].toModelIndex(), Model.index(0, 0));
  EXPECT_EQ(Changed[0][1].toModelIndex(), Model.index(99, 2));
  EXPECT_EQ(F.Offset(), 40);
  EXPECT_TRUE(F.View.selectionModel()->isRowSelected(45));
}

TEST(PlaylistViewModel, RebindWithAnotherCountRebuildsAndTheOffsetCanBeKept) {
  TViewFixture F(100);
  F.View.SetVerticalScrollOffset(40);
  F.View.selectionModel()->select(F.Model.index(45, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
  QSignalSpy Reset(&F.Model, &QAbstractItemModel::modelReset);

  const int Offset = F.View.VerticalScrollOffset();
  F.Model.Rebind(101);
  F.View.SetVerticalScrollOffset(Offset);
  EXPECT_EQ(Reset.count(), 1);
  EXPECT_EQ(F.Model.rowCount(), 101);
  EXPECT_FALSE(F.View.selectionModel()->hasSelection());
  EXPECT_EQ(F.Offset(), 40);

  F.Model.Rebind(-3);
  EXPECT_EQ(F.Model.rowCount(), 0);
}

TEST(PlaylistViewModel, DragDataTellsItsOwnListFromAnyOther) {
  TPlaylistViewModel Model;
  TPlaylistViewModel Other;
  Model.Rebind(3);
  Other.Rebind(3);
  std::unique_ptr<QMimeData> Own(Model.mimeData({Model.index(1, 0)}));
  std::unique_ptr<QMimeData> FromOther(Other.mimeData({Other.index(1, 0)}));
  QMimeData File;
  File.setUrls({QUrl("file:///tmp/voice.flac")});
  EXPECT_TRUE(Model.IsOwnDrag(Own.get()));
  EXPECT_FALSE(Model.IsOwnDrag(FromOther.get()));
  EXPECT_FALSE(Model.IsOwnDrag(&File));
  EXPECT_FALSE(Model.IsOwnDrag(nullptr));

  // A drop never changes the rows: what it means is decided by the list's owner.
  EXPECT_FALSE(Model.dropMimeData(Own.get(), Qt::MoveAction, -1, -1, Model.index(2, 0)));
  EXPECT_FALSE(Model.removeRows(0, 1));
  EXPECT_EQ(Model.rowCount(), 3);
}

}  // namespace
}  // namespace wavenard
