#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTimer>
#include <optional>
#include <utility>
#include <vector>

#include "app/playlist_view_setup.h"
#include "app/virtual_tree_playlist.h"
#include "tests/app/view_fixture.h"

namespace wavenard {
namespace {

void Press(QWidget* AClient, QPoint APoint, Qt::KeyboardModifiers AModifiers = Qt::NoModifier) {
  QTest::mousePress(AClient, Qt::LeftButton, AModifiers, APoint);
}
void Move(QWidget* AClient, QPoint APoint) {
  QTest::mouseMove(AClient, APoint);
}
void Release(QWidget* AClient, QPoint APoint, Qt::KeyboardModifiers AModifiers = Qt::NoModifier) {
  QTest::mouseRelease(AClient, Qt::LeftButton, AModifiers, APoint);
}

QTimer* IntDragTimer(TZnVirtualTree& AView) {
  return AView.findChild<QTimer*>("IntDragAutoScrollTimer");
}
QTimer* EdgeTimer(TZnVirtualTree& AView) {
  return AView.findChild<QTimer*>("AutoScrollTimer");
}

TEST(ZnVirtualTree, LeftClickIntoEmptySpaceClearsTheSelectionUnlessCtrlIsHeld) {
  const struct {
    Qt::KeyboardModifiers Modifiers;
    bool Cleared;
  } Cases[] = {{Qt::NoModifier, true}, {Qt::ShiftModifier, true}, {Qt::ControlModifier, false}};
  for (const auto& C : Cases) {
    TViewFixture F(5);
    F.View.selectionModel()->select(F.Model.index(2, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QSignalSpy Changed(F.View.selectionModel(), &QItemSelectionModel::selectionChanged);
    Press(F.Client(), F.BelowLastRow(), C.Modifiers);
    Release(F.Client(), F.BelowLastRow(), C.Modifiers);
    EXPECT_EQ(F.View.selectionModel()->hasSelection(), !C.Cleared) << C.Modifiers;
    if (C.Cleared) {
      EXPECT_FALSE(Changed.isEmpty()) << "the selection change is notified";
    }
  }
}

// Columns wider than the list, so it could scroll sideways, and many rows.
struct TScrollFixture : TViewFixture {
  TScrollFixture() : TViewFixture(200) {
    View.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    View.header()->setStretchLastSection(false);
    for (int Column = 0; Column < 3; ++Column)
      View.setColumnWidth(Column, 400);
    View.SetAutoScroll(true);
    View.SetAutoScrollDelay(1);
    View.SetAutoScrollRepeat(1);
    View.SetVerticalScrollOffset(100);
    // The horizontal range follows the new column widths in a posted update.
    QCoreApplication::processEvents();
    View.horizontalScrollBar()->setValue(300);
  }
  QScrollBar* HBar() { return View.horizontalScrollBar(); }
  void DragOver(QPoint APoint, QMimeData* AData) {
    QDragEnterEvent Enter(APoint, Qt::MoveAction, AData, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Client(), &Enter);
    QDragMoveEvent Over(APoint, Qt::MoveAction, AData, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Client(), &Over);
  }
};

TEST(ZnVirtualTree, AutoScrollNearAnEdgeScrollsOnlyVertically) {
  // Corners, so a sideways scroll would happen together with the vertical one.
  const struct {
    const char* Name;
    bool BottomEdge;
    bool RightEdge;
  } Cases[] = {{"bottom right", true, true}, {"top left", false, false}, {"bottom left", true, false}};
  for (const auto& C : Cases) {
    TScrollFixture F;
    const QPoint Corner(C.RightEdge ? F.Client()->width() - 2 : 1,
                        C.BottomEdge ? F.Client()->height() - 2 : 1);
    const auto Data = F.OwnDrag();
    F.DragOver(Corner, Data.get());
    EXPECT_TRUE(QTest::qWaitFor([&] { return F.Offset() != 100; })) << C.Name;
    EXPECT_EQ(F.Offset() > 100, C.BottomEdge) << C.Name;
    EXPECT_EQ(F.HBar()->value(), 300) << C.Name;
    QDropEvent Drop(Corner, Qt::MoveAction, Data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(F.Client(), &Drop);
    EXPECT_FALSE(EdgeTimer(F.View)->isActive()) << "a drop ends the scrolling";
  }
}

TEST(ZnVirtualTree, AutoScrollWhileTheMouseSelectsNearAnEdge) {
  TScrollFixture F;
  Press(F.Client(), F.RowPoint(101));
  const QPoint Corner(F.Client()->width() - 2, F.Client()->height() - 2);
  // Qt's own auto-scroll reads the cursor, so it is placed there as well.
  QCursor::setPos(F.Client()->mapToGlobal(Corner));
  Move(F.Client(), Corner);
  EXPECT_TRUE(QTest::qWaitFor([&] { return F.Offset() >= 103; }));
  EXPECT_EQ(F.HBar()->value(), 300);
  Release(F.Client(), Corner);
  EXPECT_FALSE(EdgeTimer(F.View)->isActive());
}

TEST(ZnVirtualTree, ARefusedDragStartsNoAutoScroll) {
  // A refused drag gets no leave event, so a running timer would scroll on for ever.
  TScrollFixture F;
  QMimeData Foreign;
  Foreign.setText("file:///tmp/a.flac");
  F.DragOver(QPoint(5, F.Client()->height() - 2), &Foreign);
  EXPECT_FALSE(EdgeTimer(F.View)->isActive());
}

// Records what the internal drag asks and tells.
struct TIntDragRecorder : TIntDragHandler {
  void IntDragAllow(bool& AAllowDrag) override {
    ++Asked;
    AllowSeen = AAllowDrag;
    if (Answer)
      AAllowDrag = *Answer;
    else
      TIntDragHandler::IntDragAllow(AAllowDrag);
  }
  void IntDragging(const QModelIndex& ASource, const QModelIndex& ATarget) override {
    Exchanges.emplace_back(ASource.row(), ATarget.row());
  }

  // None: the question is left as the handler's default answers it.
  std::optional<bool> Answer;
  int Asked = 0;
  bool AllowSeen = false;
  std::vector<std::pair<int, int>> Exchanges;
};

struct TIntDragFixture : TViewFixture {
  explicit TIntDragFixture(bool AInternalDrag = true) : TViewFixture(8) {
    View.SetInternalDrag(AInternalDrag);
    View.setDragEnabled(false);
    View.SetIntDragHandler(&Handler);
    QObject::connect(&View, &TZnVirtualTree::IntDragDone, [this] { ++Done; });
    QObject::connect(&View, &TZnVirtualTree::IntDragEnd, [this] { ++Ends; });
    QObject::connect(&View, &TZnVirtualTree::Failed,
                     [this](const std::exception& AError) { Errors << AError.what(); });
  }
  // Presses on AFrom, moves over each row in AOver and releases on the last.
  void Drag(int AFrom, std::vector<int> AOver) {
    Press(Client(), RowPoint(AFrom));
    PressStarted = IntDragTimer(View)->isActive();
    int Last = AFrom;
    for (int Row : AOver) {
      Move(Client(), RowPoint(Row));
      Last = Row;
    }
    Release(Client(), RowPoint(Last));
  }

  TIntDragRecorder Handler;
  const std::vector<std::pair<int, int>>& Exchanges = Handler.Exchanges;
  int Done = 0;
  int Ends = 0;
  QStringList Errors;
  bool PressStarted = false;
};

TEST(ZnVirtualTree, InternalDragOffCallsNoEventAndStartsNoTimer) {
  TIntDragFixture F(false);
  F.Drag(2, {3, 4});
  EXPECT_FALSE(F.PressStarted);
  EXPECT_EQ(F.Handler.Asked, 0);
  EXPECT_TRUE(F.Exchanges.empty());
  EXPECT_EQ(F.Done + F.Ends, 0);
}

TEST(ZnVirtualTree, PlaylistConfigurationNeverStartsAnInternalDrag) {
  TFixedDpiSource Source;
  TDpiCache Dpi(Source);
  const TFunctionTexts Texts([](int, int) { return QString("x"); });
  TPlaylistViewModel Model;
  Model.SetTextSource(&Texts);
  Model.Rebind(8);
  TIntDragRecorder Handler;
  TVirtualTreePlaylist View(Dpi);
  ConfigurePlaylistView(View, Model);
  View.SetIntDragHandler(&Handler);
  int Calls = 0;
  QObject::connect(&View, &TZnVirtualTree::IntDragEnd, [&] { ++Calls; });
  View.resize(500, 300);
  View.show();
  QWidget* Client = View.viewport();
  const auto RowPoint = [&](int ARow) { return View.visualRect(Model.index(ARow, 1)).center(); };
  Press(Client, RowPoint(2));
  EXPECT_FALSE(IntDragTimer(View)->isActive());
  Move(Client, RowPoint(3));
  Move(Client, RowPoint(4));
  Release(Client, RowPoint(4));
  EXPECT_EQ(Calls + Handler.Asked + static_cast<int>(Handler.Exchanges.size()), 0);
  EXPECT_EQ(Model.rowCount(), 8);
}

TEST(ZnVirtualTree, InternalDragStartsOnlyOnAnAllowedPressOnARow) {
  const struct {
    const char* Name;
    bool PressOnRow;
    int AllowHandler;  // 0 none, 1 allows, -1 refuses
    bool Starts;
  } Cases[] = {{"no handler", true, 0, true},
               {"allowing handler", true, 1, true},
               {"refusing handler", true, -1, false},
               {"press outside rows", false, 1, false}};
  for (const auto& C : Cases) {
    TIntDragFixture F;
    if (C.AllowHandler != 0)
      F.Handler.Answer = C.AllowHandler > 0;
    Press(F.Client(), C.PressOnRow ? F.RowPoint(2) : F.BelowLastRow());
    EXPECT_EQ(IntDragTimer(F.View)->isActive(), C.Starts) << C.Name;
    Move(F.Client(), F.RowPoint(3));
    Release(F.Client(), F.RowPoint(3));
    EXPECT_EQ(F.Exchanges.size(), C.Starts ? 1u : 0u) << C.Name;
    EXPECT_EQ(F.Ends, C.Starts ? 1 : 0) << C.Name;
    if (C.AllowHandler != 0) {
      EXPECT_TRUE(F.Handler.AllowSeen) << "the answer starts from allowed";
    }
  }
}

TEST(ZnVirtualTree, InternalDragExchangesRowByRowAndEndsOnceAtTheRelease) {
  TIntDragFixture F;
  F.Drag(2, {2, 3, 3, 4});
  EXPECT_TRUE(F.PressStarted);
  EXPECT_EQ(F.Exchanges, (std::vector<std::pair<int, int>>{{2, 3}, {3, 4}}));
  EXPECT_EQ(F.Done, 2);
  EXPECT_EQ(F.Ends, 1);
  EXPECT_FALSE(IntDragTimer(F.View)->isActive());
  EXPECT_TRUE(F.Errors.isEmpty());

  // A later click that starts no drag does not report the finished one again.
  Press(F.Client(), F.BelowLastRow());
  Release(F.Client(), F.BelowLastRow());
  EXPECT_EQ(F.Ends, 1);
}

TEST(ZnVirtualTree, PressAndReleaseOnOneRowEndsNothing) {
  TIntDragFixture F;
  F.Drag(2, {});
  EXPECT_TRUE(F.PressStarted);
  EXPECT_TRUE(F.Exchanges.empty());
  EXPECT_EQ(F.Ends, 0);
}

TEST(ZnVirtualTree, LeavingTheListStopsExchangesButNotTheEdgeScrolling) {
  TIntDragFixture F;
  Press(F.Client(), F.RowPoint(2));
  QEvent Leave(QEvent::Leave);
  QApplication::sendEvent(&F.View, &Leave);
  Move(F.Client(), F.RowPoint(3));
  EXPECT_TRUE(F.Exchanges.empty());
  EXPECT_TRUE(IntDragTimer(F.View)->isActive());
  Release(F.Client(), F.RowPoint(3));
  EXPECT_FALSE(IntDragTimer(F.View)->isActive());
  EXPECT_EQ(F.Ends, 0);
}

TEST(ZnVirtualTree, MissingInternalDragHandlersAreReported) {
  {
    TIntDragFixture F;
    F.View.SetIntDragHandler(nullptr);
    F.Drag(2, {3});
    EXPECT_EQ(F.Errors, QStringList{"Internal drag error 1"});
    EXPECT_EQ(F.Done, 0);
    EXPECT_EQ(F.Ends, 0) << "nothing was exchanged";
  }
  {
    TIntDragFixture F;
    QObject::disconnect(&F.View, &TZnVirtualTree::IntDragDone, nullptr, nullptr);
    F.Drag(2, {3, 4});
    EXPECT_EQ(F.Errors, (QStringList{"Internal drag error 2", "Internal drag error 2"}));
    EXPECT_EQ(F.Exchanges, (std::vector<std::pair<int, int>>{{2, 3}, {3, 4}}))
        << "raised after each exchange";
    EXPECT_EQ(F.Ends, 1);
  }
}

TEST(ZnVirtualTree, IntDragEdgeZoneIsAQuarterOfTheHeightAtMostFiftyScaledByDpi) {
  const struct {
    int Dpi;
    int Height;
    int Zone;
  } Cases[] = {{96, 120, 30}, {96, 400, 50}, {144, 120, 45}, {144, 400, 75}};
  for (const auto& C : Cases) {
    TViewFixture F(400, C.Dpi, QSize(300, C.Height));
    ASSERT_EQ(F.Client()->height(), C.Height);
    const int Width = F.Client()->width();
    const struct {
      QPoint Pointer;
      int Step;
    } Points[] = {{{10, C.Zone - 1}, -1},
                  {{10, C.Zone}, 0},
                  {{10, C.Height - C.Zone}, 0},
                  {{10, C.Height - C.Zone + 1}, 1},
                  {{0, 0}, -1},
                  {{Width, C.Height}, 1},
                  {{-1, 0}, 0},
                  {{Width + 1, C.Height}, 0}};
    for (const auto& P : Points) {
      F.View.SetVerticalScrollOffset(100);
      F.PointAt(P.Pointer);
      F.View.DoIntDragAutoScroll();
      EXPECT_EQ(F.Offset() - 100, P.Step)
          << C.Dpi << " dpi, height " << C.Height << ", at " << P.Pointer.x() << "," << P.Pointer.y();
    }
  }
}

TEST(ZnVirtualTree, IntDragAutoScrollIntervalAppliesAtOnce) {
  TIntDragFixture F;
  EXPECT_EQ(F.View.IntDragAutoScrollInterval(), 100);
  EXPECT_EQ(IntDragTimer(F.View)->interval(), 100);
  Press(F.Client(), F.RowPoint(2));
  F.View.setProperty("IntDragAutoScrollInterval", 50);
  EXPECT_EQ(IntDragTimer(F.View)->interval(), 50);
  EXPECT_TRUE(IntDragTimer(F.View)->isActive());
  Release(F.Client(), F.RowPoint(2));
}

// Accepts every drag or none, leaving the action as the policy's default gives it.
struct TFixedDropPolicy final : TDropPolicy {
  explicit TFixedDropPolicy(bool AAccept) : Accept(AAccept) {}
  bool AcceptsDrop(const QDropEvent&) override { return Accept; }
  const bool Accept;
};

TEST(ZnVirtualTree, DropPolicyDecidesAndDropLeavesTheRowsToTheReceiver) {
  for (bool Accept : {false, true}) {
    TViewFixture F(8);
    int Drops = 0;
    QModelIndex DropRow;
    TFixedDropPolicy Policy(Accept);
    F.View.SetDropPolicy(&Policy);
    QObject::connect(&F.View, &TZnVirtualTree::DragDrop, [&](const QDropEvent& AEvent) {
      ++Drops;
      DropRow = F.View.indexAt(AEvent.position().toPoint());
    });
    const auto Data = F.OwnDrag();
    const QPoint Point = F.RowPoint(5);
    QDragEnterEvent Enter(Point, Qt::MoveAction | Qt::CopyAction, Data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(F.Client(), &Enter);
    EXPECT_EQ(Enter.isAccepted(), Accept);
    QDragMoveEvent Over(Point, Qt::MoveAction | Qt::CopyAction, Data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(F.Client(), &Over);
    EXPECT_EQ(Over.isAccepted(), Accept);
    if (Accept) {
      EXPECT_EQ(Over.dropAction(), Qt::MoveAction);
      QDropEvent Drop(Point, Qt::MoveAction, Data.get(), Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(F.Client(), &Drop);
      EXPECT_TRUE(Drop.isAccepted());
      EXPECT_EQ(Drops, 1);
      EXPECT_EQ(DropRow.row(), 5);
      EXPECT_EQ(F.Model.rowCount(), 8);
      EXPECT_TRUE(F.View.Idle()) << "the drop ends the view's drag state";
    }
  }
}

// Listening to the list's news changes nothing it decides: without a policy QTreeView still
// accepts and drops, whoever is connected.
TEST(ZnVirtualTree, ReceiversOfTheNewsLeaveDragAndDropToTheToolkit) {
  TViewFixture F(8);
  int Heard = 0;
  QObject::connect(&F.View, &TZnVirtualTree::DragDrop, [&](const QDropEvent&) { ++Heard; });
  QObject::connect(&F.View, &TZnVirtualTree::IntDragDone, [&] { ++Heard; });
  QObject::connect(&F.View, &TZnVirtualTree::IntDragEnd, [&] { ++Heard; });
  QObject::connect(&F.View, &TZnVirtualTree::Failed, [&](const std::exception&) { ++Heard; });
  const auto Own = F.OwnDrag();
  QMimeData Foreign;
  Foreign.setText("from elsewhere");
  const QPoint Point = F.RowPoint(5);
  const struct {
    const char* Name;
    const QMimeData* Data;
    bool Accepted;
  } Cases[] = {{"own rows", Own.get(), true}, {"foreign text", &Foreign, false}};
  for (const auto& C : Cases) {
    QDragEnterEvent Enter(Point, Qt::MoveAction, C.Data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(F.Client(), &Enter);
    QDragMoveEvent Over(Point, Qt::MoveAction, C.Data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(F.Client(), &Over);
    EXPECT_EQ(Over.isAccepted(), C.Accepted) << C.Name;
  }
  QDropEvent Drop(Point, Qt::MoveAction, Own.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(F.Client(), &Drop);
  EXPECT_FALSE(Drop.isAccepted()) << "QTreeView dropped, and the model takes no rows";
  EXPECT_EQ(Heard, 0);
  EXPECT_EQ(F.Model.rowCount(), 8);
  EXPECT_TRUE(F.View.Idle());
}

// The playlist's own configuration: three columns of 420 pixels in a list 600 wide.
struct TPlaylistFixture {
  explicit TPlaylistFixture(int ARows) {
    ShowRowAndColumn(Model);
    ConfigurePlaylistView(View, Model);
    Model.Rebind(ARows);
    View.resize(600, 300);
    View.show();
    View.SetVerticalScrollOffset(0);
  }
  QWidget* Client() { return View.viewport(); }
  // A point at the height of ARow, AX pixels from the list's left edge.
  QPoint At(int ARow, int AX) const { return {AX, View.visualRect(Model.index(ARow, 0)).center().y()}; }

  TFixedDpiSource Source;
  TDpiCache Dpi{Source};
  TPlaylistViewModel Model;
  TVirtualTreePlaylist View{Dpi};
};

TEST(ZnVirtualTree, ARowIsAsWideAsTheList) {
  TPlaylistFixture F(5);
  const int Right = F.Client()->width() - 1;
  struct TCase {
    const char* Name;
    int X;
  };
  const TCase Cases[] = {{"title column", 100}, {"just right of the columns", 421}, {"right edge", Right}};
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    // Hot tracking, drag start and drop target all ask the same hit test.
    EXPECT_EQ(F.View.indexAt(F.At(3, Case.X)).row(), 3);
    F.View.clearSelection();
    Press(F.Client(), F.At(3, Case.X));
    Release(F.Client(), F.At(3, Case.X));
    ASSERT_EQ(F.View.selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(F.View.selectionModel()->selectedRows().first().row(), 3);
  }
  EXPECT_FALSE(F.View.indexAt(QPoint(Right + 1, F.At(3, 0).y())).isValid()) << "outside the list";
  EXPECT_FALSE(F.View.indexAt(F.At(4, 500) + QPoint(0, 40)).isValid()) << "below the last row";
}

TEST(ZnVirtualTree, KeyboardKeepsTheCurrentRowInViewWithoutScrollingSideways) {
  TScrollFixture F;
  F.View.SetVerticalScrollOffset(0);
  F.View.setCurrentIndex(F.Model.index(0, 0));
  const auto Shown = [&](int ARow) {
    const QRect Rect = F.View.visualRect(F.Model.index(ARow, 0));
    return Rect.top() >= 0 && Rect.bottom() < F.Client()->height();
  };
  struct TCase {
    const char* Name;
    Qt::Key Key;
    int Presses;
  };
  const TCase Cases[] = {{"down", Qt::Key_Down, 30},     {"page down", Qt::Key_PageDown, 3},
                         {"end", Qt::Key_End, 1},        {"up", Qt::Key_Up, 25},
                         {"page up", Qt::Key_PageUp, 4}, {"home", Qt::Key_Home, 1}};
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const int Before = F.View.currentIndex().row();
    for (int I = 0; I < Case.Presses; ++I)
      QTest::keyClick(&F.View, Case.Key);
    EXPECT_NE(F.View.currentIndex().row(), Before);
    EXPECT_TRUE(Shown(F.View.currentIndex().row())) << F.View.currentIndex().row();
    EXPECT_EQ(F.HBar()->value(), 300);
  }
  EXPECT_EQ(F.Offset(), 0);
}

TEST(ZnVirtualTree, ASweepFromEmptySpaceSelectsNothing) {
  TPlaylistFixture F(5);
  const QPoint Start = F.At(4, 200) + QPoint(0, 60);
  ASSERT_FALSE(F.View.indexAt(Start).isValid());
  Press(F.Client(), Start);
  for (int Row = 4; Row >= 0; --Row) {
    QMouseEvent Move(QEvent::MouseMove, F.At(Row, 200), F.Client()->mapToGlobal(F.At(Row, 200)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(F.Client(), &Move);
  }
  Release(F.Client(), F.At(0, 200));
  EXPECT_FALSE(F.View.selectionModel()->hasSelection());
}

TEST(ZnVirtualTree, TheHeaderItemUnderThePointerIsHighlighted) {
  TPlaylistFixture F(5);
  TZnHeader& Header = F.View.Header();
  EXPECT_FALSE(Header.highlightSections()) << "selected rows do not light up columns";
  QWidget* Bar = Header.viewport();
  const auto Hover = [&](QPoint APoint) {
    QMouseEvent Move(QEvent::MouseMove, APoint, Bar->mapToGlobal(APoint), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(Bar, &Move);
  };
  const QImage Plain = Bar->grab().toImage();
  Hover(QPoint(200, 12));
  EXPECT_EQ(Header.HotSection(), 1);
  const QImage Hot = Bar->grab().toImage();
  // Only the title column changes colour.
  EXPECT_NE(Hot.pixel(200, 3), Plain.pixel(200, 3));
  EXPECT_EQ(Hot.pixel(30, 3), Plain.pixel(30, 3));
  Hover(QPoint(30, 12));
  EXPECT_EQ(Header.HotSection(), 0);
  QEvent Leave(QEvent::Leave);
  QApplication::sendEvent(Bar, &Leave);
  EXPECT_EQ(Header.HotSection(), -1);
}

TEST(ConfigurePlaylistView, ThreeColumnsAtTheirWidthsUnderA25PixelHeader) {
  TFixedDpiSource Source;
  TDpiCache Dpi(Source);
  TPlaylistViewModel Model;
  TVirtualTreePlaylist View(Dpi);
  ConfigurePlaylistView(View, Model);
  View.resize(800, 300);
  View.show();
  QHeaderView* Header = View.header();
  EXPECT_EQ(Header->height(), 25);
  EXPECT_EQ(Header->sectionSize(0), 60);
  EXPECT_EQ(Header->sectionSize(1), 300);
  EXPECT_EQ(Header->sectionSize(2), 60) << "the last column does not stretch";
  EXPECT_EQ(View.accessibleName(), "Playlist");
  EXPECT_EQ(Model.supportedDragActions(), Qt::MoveAction);
}

}  // namespace
}  // namespace wavenard
