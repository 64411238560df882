#include <gtest/gtest.h>

#include <unistd.h>
#include <QCloseEvent>
#include <QDropEvent>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMimeData>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <QToolTip>
#include <algorithm>
#include <atomic>
#include <thread>

#include "app/error_report.h"
#include "app/main_form.h"
#include "app/status_panel.h"
#include "app/virtual_tree_playlist.h"
#include "config/connection_settings.h"
#include "config/failures.h"
#include "tests/app/main_form_fixture.h"
#include "tests/testsupport/raw_http_server.h"
#include "tests/testsupport/refused_thread_starts.h"
#include "tests/testsupport/scripted_box_presenter.h"
#include "tests/testsupport/temp_folder.h"
#include "tools/station-sim/station_sim.h"

namespace wavenard {
namespace {

TEST_F(MainFormTest, WindowHasItsControlsInPlace) {
  Open();
  EXPECT_EQ(Form->windowTitle(), "Wavenard");
  EXPECT_EQ(Form->size(), QSize(624, 435));
  EXPECT_EQ(Form->font().pointSize(), 9);
  EXPECT_FALSE(Form->windowIcon().isNull());

  struct TCase {
    QToolButton* Button;
    int X;
    const char* Hint;
    const char* Key;
  };
  const TCase Cases[] = {{&Form->btRecord(), 3, "Record voice track", "Ctrl+R"},
                         {&Form->btInsert(), 46, "Insert voice track", "Ins"},
                         {&Form->btDelete(), 92, "Delete track", "Del"},
                         {&Form->btSettings(), 138, "Settings", "Ctrl+,"}};
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Hint);
    EXPECT_EQ(Case.Button->mapTo(Form.get(), QPoint()), QPoint(Case.X, 3));
    EXPECT_EQ(Case.Button->size(), QSize(40, 38));
    EXPECT_EQ(Case.Button->iconSize(), QSize(30, 30));
    EXPECT_EQ(Case.Button->toolTip(), QString("%1 (%2)").arg(Case.Hint, Case.Key));
    EXPECT_EQ(Case.Button->accessibleName(), Case.Hint);
    EXPECT_FALSE(Case.Button->icon().pixmap(30, 30).isNull());
  }
  // The bar is as high as its buttons with 3 px above and below; the list keeps 8 px clear.
  TVirtualTreePlaylist& List = Form->lvPlaylist();
  EXPECT_EQ(List.mapTo(Form.get(), QPoint()), QPoint(8, 44 + 8));
  EXPECT_EQ(List.accessibleName(), "Playlist");
  EXPECT_EQ(QApplication::focusWidget() == nullptr || QApplication::focusWidget() == &List, true);
  EXPECT_TRUE(Form->tmrMain().isActive());
  EXPECT_EQ(Form->tmrMain().interval(), 5000);
  // Row height: the text "Cy" plus 8 at 96 DPI.
  EXPECT_EQ(List.DefaultRowHeight(), List.fontMetrics().size(Qt::TextSingleLine, "Cy").height() + 8);
}

TEST_F(MainFormTest, FirstShowAsksOnceWithTheCredentialsAndShowsTheRows) {
  Open();
  ASSERT_EQ(Rows(), 10);
  EXPECT_EQ(Cell(0, 0), "1");
  EXPECT_EQ(Cell(0, 1), "Track 1");
  EXPECT_EQ(Cell(0, 2), "1:00");
  EXPECT_EQ(Cell(9, 0), "10");
  EXPECT_EQ(Cell(9, 1), "Track 10");
  EXPECT_EQ(Cell(9, 2), "1:09");
  EXPECT_EQ(Form->StatusPanel().text(), "");
  EXPECT_EQ(Station.Requests(), std::vector<std::string>{"GET /?user=demo&pass=demo&action=getplaylist2"});
  EXPECT_TRUE(Boxes.Shown().isEmpty());
}

TEST_F(MainFormTest, WithoutSettingsEveryRefreshSaysSo) {
  Settings->SetServer(QString());
  Open();
  EXPECT_EQ(Form->StatusPanel().text(), "Connection not configured. Please open Settings.");
  Form->ShowStatus({});
  Refresh();
  EXPECT_EQ(Form->StatusPanel().text(), "Connection not configured. Please open Settings.");
  EXPECT_EQ(Rows(), 0);
  EXPECT_TRUE(Boxes.Shown().isEmpty());
  EXPECT_TRUE(Station.Requests().empty());
}

TEST_F(MainFormTest, AFailedRefreshKeepsTheRowsAndTheNextOneClearsTheStatus) {
  Open();
  Station.SetStatus(500);
  Station.SetPlaylist(Tracks(4, "Other"));
  Refresh();
  EXPECT_FALSE(Form->StatusPanel().text().isEmpty());
  EXPECT_EQ(Rows(), 10);
  EXPECT_EQ(Cell(0, 1), "Track 1");
  EXPECT_TRUE(Boxes.Shown().isEmpty());

  Station.SetFaults({});
  Refresh();
  EXPECT_EQ(Form->StatusPanel().text(), "");
  EXPECT_EQ(Rows(), 4);
  EXPECT_EQ(Cell(0, 1), "Other 1");
}

// A failed refresh shows the station's answer; whatever it holds, the panel shows one plain
// line and never loads or lays out anything the text names.
TEST_F(MainFormTest, TheStationsAnswerIsShownAsOnePlainLine) {
  QByteArray Page = "<html>\n<head><title>500 Internal Server Error</title></head>\n<body>\n";
  for (int Line = 0; Line < 26; ++Line) {
    Page += "<p><img src=\"/dev/zero\"> line " + QByteArray::number(Line) + "</p>\n";
  }
  Page += "</body>\n</html>\n";
  const QByteArray LongLine = QByteArray(3000, 'x') + "\nsecond line";
  struct TCase {
    const char* Name;
    QByteArray Body;
    QString Line;
  };
  const TCase Cases[] = {
      {"image", R"(<img src="/dev/zero">)", R"(<img src="/dev/zero">)"},
      {"page", Page, "<html>"},
      {"long line", LongLine, QString(3000, 'x')},
  };
  Open();
  const int PanelHeight = Form->StatusPanel().height();
  const int BarHeight = Form->statusBar()->height();
  const qint64 Before = ResidentBytes();
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    test::TRawHttpServer Server([&](const QByteArray&) {
      return test::TRawReply::Answer(500, "Internal Server Error", Case.Body, "text/html");
    });
    Settings->SetPort(Server.Port());
    Refresh();
    TStatusPanel& Panel = Form->StatusPanel();
    EXPECT_EQ(Panel.textFormat(), Qt::PlainText);
    EXPECT_EQ(Panel.Status(), QString::fromUtf8(Case.Body));
    EXPECT_FALSE(Panel.text().contains('\n'));
    EXPECT_LE(Panel.fontMetrics().horizontalAdvance(Panel.text()), Panel.contentsRect().width());
    // The first line, or as much of it as fits, with an ellipsis.
    if (Panel.text() != Case.Line) {
      EXPECT_TRUE(Panel.text().endsWith(QChar(0x2026)));
      EXPECT_TRUE(Case.Line.startsWith(Panel.text().chopped(1)));
    }
    EXPECT_EQ(Panel.accessibleName(), Case.Line);
    // The tool tip holds the whole text, escaped, so it too stays text.
    EXPECT_FALSE(Panel.toolTip().contains("<img"));
    EXPECT_TRUE(Panel.toolTip().contains(QString::fromUtf8(Case.Body.right(20)).toHtmlEscaped()));
    QToolTip::showText(Panel.mapToGlobal(QPoint()), Panel.toolTip(), &Panel);
    QCoreApplication::processEvents();
    QToolTip::hideText();
    EXPECT_EQ(Panel.height(), PanelHeight);
    EXPECT_EQ(Form->statusBar()->height(), BarHeight);
  }
  EXPECT_LT(ResidentBytes() - Before, 64 * 1024 * 1024);
  EXPECT_TRUE(Boxes.Shown().isEmpty());
}

// Answers inside the size limit but past the reading's bounds fail like any other refresh: the
// rows stay as they were and the status panel says why.
TEST_F(MainFormTest, AnAnswerPastTheReadingsBoundsKeepsTheRows) {
  const auto Repeated = [](const QByteArray& APart, int ATimes) {
    QByteArray Text;
    for (int I = 0; I < ATimes; ++I) {
      Text += APart;
    }
    return Text;
  };
  QByteArray Attributes;
  for (int I = 0; I < 1'001; ++I) {
    Attributes += " A" + QByteArray::number(I) + "=''";
  }
  const QString TooManyRows = "The station's playlist has more than 100,000 rows; it was not read.";
  const struct {
    const char* Name;
    QByteArray Body;
    QString Status;
  } Cases[] = {
      {"empty tags", Repeated("<TRACK/>", 100'001), TooManyRows},
      {"start tags and text", Repeated("<TRACK>a", 50'001), TooManyRows},
      {"attributes", "<TRACK" + Attributes + "/>",
       "The station's playlist has a part with more than 1,000 attributes; it was not read."},
  };
  Open();
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    test::TRawHttpServer Server(
        [&](const QByteArray&) { return test::TRawReply::Answer(200, "OK", Case.Body, "text/xml"); });
    Settings->SetPort(Server.Port());
    Refresh();
    EXPECT_EQ(Status(), Case.Status);
    EXPECT_EQ(Rows(), 10);
    EXPECT_EQ(Cell(9, 1), "Track 10");
  }
  EXPECT_TRUE(Boxes.Shown().isEmpty());
}

// A title of millions of characters reaches the list cut, so drawing it costs no more than any.
TEST_F(MainFormTest, LongCellsAreShownCut) {
  const QByteArray Long(3'000'000, 'a');
  test::TRawHttpServer Server([&](const QByteArray&) {
    return test::TRawReply::Answer(200, "OK", "<TRACK CASTTITLE='" + Long + "' DURATION='" + Long + "'/>",
                                   "text/xml");
  });
  Settings->SetPort(Server.Port());
  Open();
  ASSERT_EQ(Rows(), 1);
  const QString Cut = QString(1024, u'a') + QChar(0x2026);
  EXPECT_EQ(Cell(0, 1), Cut);
  EXPECT_EQ(Cell(0, 2), Cut);
  Form->lvPlaylist().viewport()->repaint();
  EXPECT_EQ(Status(), "");
}

TEST_F(MainFormTest, OnlyOnePlaylistRequestIsOutstanding) {
  Open();
  Station.SetDelay(1500);
  Form->tmrMainTimer();
  ASSERT_TRUE(WaitForRequest("action=getplaylist2", 2));
  // The station holds the answer: the ticks meanwhile are dropped.
  for (int Tick = 0; Tick < 4; ++Tick) {
    Form->tmrMainTimer();
    QCoreApplication::processEvents();
  }
  EXPECT_TRUE(Form->UpdatingPlaylist());
  ASSERT_TRUE(WaitFor([this] { return !Form->UpdatingPlaylist(); }));
  ASSERT_TRUE(WorkersEnded());
  EXPECT_EQ(Requests("action=getplaylist2").size(), 2u);
  // The guard is down again: the next tick asks.
  Station.SetDelay(0);
  Refresh();
  EXPECT_EQ(Requests("action=getplaylist2").size(), 3u);
}

TEST_F(MainFormTest, AReorderedListOfTheSameLengthIsRebound) {
  Open();
  Select({2});
  TTrackList Reordered = Tracks(10);
  ASSERT_TRUE(Reordered.Move(3, 1));
  Station.SetPlaylist(Reordered);
  Refresh();
  EXPECT_EQ(Selected(), QList<int>{2});
  EXPECT_EQ(Cell(2, 1), "Track 2");
  EXPECT_EQ(Cell(0, 1), "Track 3");
}

TEST_F(MainFormTest, ALongerListIsRebuiltAtTheSameScrollOffset) {
  Station.SetPlaylist(Tracks(200));
  Open();
  Select({40});
  Form->lvPlaylist().SetVerticalScrollOffset(30);
  Station.SetPlaylist(Tracks(201));
  Refresh();
  EXPECT_EQ(Rows(), 201);
  EXPECT_TRUE(Selected().isEmpty());
  EXPECT_EQ(Form->lvPlaylist().VerticalScrollOffset(), 30);
  EXPECT_EQ(Cell(200, 1), "Track 201");
}

TEST_F(MainFormTest, DeleteSendsTheFirstSelectedRowOnly) {
  Open();
  Form->btDelete().click();
  ASSERT_TRUE(WorkersEnded());
  EXPECT_TRUE(Requests("action=delete").empty());

  Select({7, 3});
  Form->btDelete().click();
  ASSERT_TRUE(WaitForRequest("action=delete"));
  EXPECT_EQ(Requests("action=delete"),
            std::vector<std::string>{"GET /?user=demo&pass=demo&action=delete&pos=4"});
  // The successful delete asks for the playlist, which no longer holds the row.
  ASSERT_TRUE(WaitFor([this] { return Rows() == 9; }));
  EXPECT_EQ(Cell(3, 1), "Track 5");
}

TEST_F(MainFormTest, DroppingARowExchangesTheTwoRowsAndSendsTheMove) {
  Open();
  Select({1});
  const auto Data = OwnDrag();
  EXPECT_TRUE(DragOnto(5, *Data));
  // Shown at once, before the station answers.
  EXPECT_EQ(Cell(1, 1), "Track 6");
  EXPECT_EQ(Cell(5, 1), "Track 2");
  EXPECT_EQ(Cell(3, 1), "Track 4");
  EXPECT_EQ(Rows(), 10);
  ASSERT_TRUE(WaitForRequest("action=move"));
  EXPECT_EQ(Requests("action=move"),
            std::vector<std::string>{"GET /?user=demo&pass=demo&action=move&pos1=2&pos2=6"});
}

TEST_F(MainFormTest, ARowIsDroppedOnRightOfTheColumnsToo) {
  Open();
  Select({1});
  const auto Data = OwnDrag();
  const int X = Form->lvPlaylist().viewport()->width() - 20;
  ASSERT_GT(X, 420);
  EXPECT_TRUE(DragOnto(5, *Data, X));
  EXPECT_EQ(Cell(5, 1), "Track 2");
  ASSERT_TRUE(WaitForRequest("action=move"));
  EXPECT_EQ(Requests("action=move"),
            std::vector<std::string>{"GET /?user=demo&pass=demo&action=move&pos1=2&pos2=6"});
}

// Each key runs exactly what its button or drag runs.
TEST_F(MainFormTest, EveryCommandHasItsKey) {
  Open();
  Activate();
  QSignalSpy Said(&Form->StatusPanel(), &TStatusPanel::Announced);

  Select({3});
  Key(Qt::Key_Delete);
  ASSERT_TRUE(WaitForRequest("action=delete"));
  EXPECT_EQ(Requests("action=delete"),
            std::vector<std::string>{"GET /?user=demo&pass=demo&action=delete&pos=4"});
  ASSERT_TRUE(WaitFor([this] { return Rows() == 9; }));
  // What the edit did, then what the refresh after it changed.
  ASSERT_TRUE(WaitFor([&] { return Said.size() >= 2; }));
  EXPECT_EQ(Said[0][0].toString(), "Track deleted");
  EXPECT_EQ(Said[1][0].toString(), "1 row removed");

  // Ctrl+Down as a drop onto the row below; the selection goes with the row, so a second
  // press moves it on.
  Select({1});
  Key(Qt::Key_Down, Qt::ControlModifier);
  EXPECT_EQ(Cell(1, 1), "Track 3");
  EXPECT_EQ(Cell(2, 1), "Track 2");
  EXPECT_EQ(Selected(), QList<int>{2});
  ASSERT_TRUE(WaitForRequest("action=move"));
  // The moved rows are the station's again once the list after the answer is in.
  auto* Model = Form->lvPlaylist().model();
  ASSERT_TRUE(WaitFor([&] { return !Model->data(Model->index(2, 1), Qt::ForegroundRole).isValid(); }));
  Key(Qt::Key_Up, Qt::ControlModifier);
  ASSERT_TRUE(WaitForRequest("action=move", 2));
  EXPECT_EQ(Requests("action=move"),
            (std::vector<std::string>{"GET /?user=demo&pass=demo&action=move&pos1=2&pos2=3",
                                      "GET /?user=demo&pass=demo&action=move&pos1=3&pos2=2"}));
  // Nothing above the first row, and two selected rows do not move, as with a drag.
  Select({0});
  Key(Qt::Key_Up, Qt::ControlModifier);
  Select({2, 4});
  Key(Qt::Key_Down, Qt::ControlModifier);

  // F5 asks at once, through the same guard as the timer. First the refreshes after the two
  // moves are let through.
  ASSERT_TRUE(WaitFor([&] { return Said.size() >= 4; }));
  EXPECT_EQ(Said[2][0].toString(), "Track moved");
  EXPECT_EQ(Said[3][0].toString(), "Track moved");
  ASSERT_TRUE(WaitFor([this] { return !Form->UpdatingPlaylist(); }));
  const size_t Asked = Requests("action=getplaylist2").size();
  Station.SetDelay(500);
  Key(Qt::Key_F5);
  EXPECT_TRUE(Form->UpdatingPlaylist());
  Key(Qt::Key_F5);
  ASSERT_TRUE(WaitFor([this] { return !Form->UpdatingPlaylist(); }));
  EXPECT_EQ(Requests("action=getplaylist2").size(), Asked + 1);
  Station.SetDelay(0);

  Form->lvPlaylist().clearSelection();
  Key(Qt::Key_Insert);
  ASSERT_TRUE(WaitFor([this] { return !Boxes.Shown().isEmpty(); }));
  EXPECT_EQ(Boxes.Shown()[0].Text, "Plase select a track in the playlist");

  Key(Qt::Key_R, Qt::ControlModifier);
  ASSERT_TRUE(WaitFor([this] { return !Started.isEmpty(); }));
  EXPECT_EQ(Started[0], (QStringList{"/opt/suite/pellorin", "-wavenard"}));
  Key(Qt::Key_Comma, Qt::ControlModifier);
  ASSERT_TRUE(WaitFor([this] { return SettingsShownOver != nullptr; }));

  EXPECT_EQ(Requests("action=move").size(), 2u);
  EXPECT_EQ(Requests("action=delete").size(), 1u);
}

TEST_F(MainFormTest, TabReachesTheButtonsAndTheList) {
  Open();
  Activate();
  QSet<QWidget*> Reached;
  for (int Step = 0; Step < 6; ++Step) {
    Key(Qt::Key_Tab);
    Reached.insert(QApplication::focusWidget());
  }
  for (QWidget* Control :
       std::initializer_list<QWidget*>{&Form->btRecord(), &Form->btInsert(), &Form->btDelete(),
                                       &Form->btSettings(), &Form->lvPlaylist()}) {
    EXPECT_TRUE(Reached.contains(Control)) << Control->objectName().toStdString();
  }
}

// Rows new since the list shown before get a soft background for a while; rows that only
// moved up because the top row played out do not.
TEST_F(MainFormTest, NewRowsAreMarkedAfterARefresh) {
  Open();
  EXPECT_TRUE(MarkedRows().isEmpty()) << "the first list is not marked";
  QSignalSpy Said(&Form->StatusPanel(), &TStatusPanel::Announced);

  TTrackList Shifted;
  const TTrackList Ten = Tracks(11);
  for (size_t Row = 1; Row < 10; ++Row) {
    Shifted.Append(Ten.Tracks()[Row]);
  }
  Station.SetPlaylist(Shifted);
  Refresh();
  EXPECT_TRUE(MarkedRows().isEmpty());
  ASSERT_EQ(Said.size(), 1);
  EXPECT_EQ(Said[0][0].toString(), "1 row removed");

  TTrack VoiceTrack;
  VoiceTrack.Title = "vt-0412";
  VoiceTrack.DurationMs = 3000;
  TTrackList Inserted = Shifted;
  Inserted.Insert(4, VoiceTrack);
  Inserted.Append(Ten.Tracks()[10]);
  Station.SetPlaylist(Inserted);
  Refresh();
  EXPECT_EQ(MarkedRows(), (QList<int>{3, 10}));
  EXPECT_EQ(Said.size(), 2);
  EXPECT_EQ(Said.last()[0].toString(), "2 rows added");

  // Nothing changed: the marks stay until their time is up, and nothing is said.
  Refresh();
  EXPECT_EQ(Said.size(), 2);
  auto* Model = static_cast<TPlaylistViewModel*>(Form->lvPlaylist().model());
  Model->MarkNewRows({false, true}, 1);
  EXPECT_TRUE(Marked(1));
  ASSERT_TRUE(WaitFor([&] { return MarkedRows().isEmpty(); }));
}

TEST_F(MainFormTest, DragsThatAreRefused) {
  Open();
  struct TCase {
    const char* Name;
    std::initializer_list<int> Selection;
    bool Foreign;
  };
  const TCase Cases[] = {
      {"two rows selected", {1, 2}, false},
      {"no row selected", {}, false},
      {"dragged in from another program", {1}, true},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Select(Case.Selection);
    std::unique_ptr<QMimeData> Data;
    if (Case.Foreign) {
      Data = std::make_unique<QMimeData>();
      Data->setUrls({QUrl::fromLocalFile("/home/user/song.mp3")});
      Data->setData(TPlaylistViewModel::MimeType, "not this list");
    } else {
      Data = OwnDrag();
    }
    EXPECT_FALSE(DragOnto(5, *Data));
    EXPECT_EQ(Cell(1, 1), "Track 2");
    EXPECT_EQ(Cell(5, 1), "Track 6");
  }
  ASSERT_TRUE(WorkersEnded());
  EXPECT_TRUE(Requests("action=move").empty());
}

TEST_F(MainFormTest, InsertWithoutASelectionWarns) {
  Open();
  Form->btInsert().click();
  ASSERT_EQ(Boxes.Shown().size(), 1);
  EXPECT_EQ(Boxes.Shown()[0].Text, "Plase select a track in the playlist");
  EXPECT_EQ(Boxes.Shown()[0].Caption, "Error");
  EXPECT_EQ(Boxes.Shown()[0].Flags & 0xF0, MB_ICONWARNING);
  EXPECT_TRUE(ChooserFolders.isEmpty());
}

TEST_F(MainFormTest, InsertSendsThePositionTakenWhenTheButtonWasPressed) {
  test::TTempFolder Folder;
  const QString Take = Folder.Write("take one.flac", FlacFile());
  Open();
  Select({0});
  ChooseFile = [&] {
    // The station's list grows at the top while the dialog is open, and a refresh shows it.
    TTrackList Grown = Tracks(10);
    TTrack First;
    First.Title = "Early";
    First.DurationMs = 1000;
    Grown.Insert(1, First);
    Station.SetPlaylist(Grown);
    Refresh();
    EXPECT_EQ(Rows(), 11);
    return Take;
  };
  Form->btInsert().click();
  EXPECT_EQ(ChooserFolders, QStringList{"/voice/tracks"});
  ASSERT_TRUE(WaitForRequest("POST /"));
  ASSERT_TRUE(WaitFor([this] { return Rows() == 12; }));
  // Position 2: right after the row that was selected when the button was pressed.
  EXPECT_EQ(Cell(1, 1), "take one");
  EXPECT_EQ(Cell(1, 2), "0:03");
  EXPECT_TRUE(Boxes.Shown().isEmpty());
}

TEST_F(MainFormTest, InsertOfAnUnreadableFileShowsItsFailure) {
  test::TTempFolder Folder;
  Open();
  Select({0});
  ChooseFile = [&] { return Folder.File("gone.flac"); };
  Form->btInsert().click();
  ASSERT_EQ(Boxes.Shown().size(), 1);
  EXPECT_TRUE(Boxes.Shown()[0].Text.contains("gone.flac"));
  EXPECT_EQ(Boxes.Shown()[0].Caption, "Error");
  EXPECT_EQ(Boxes.Shown()[0].Flags & 0xF0, MB_ICONERROR);

  Boxes.Clear();
  ChooseFile = [] { return QString(); };
  Form->btInsert().click();
  ASSERT_TRUE(WorkersEnded());
  EXPECT_TRUE(Boxes.Shown().isEmpty());
  EXPECT_TRUE(Requests("POST").empty());
}

TEST_F(MainFormTest, InsertShowsItsProgressThenWhereTheTrackWent) {
  test::TTempFolder Folder;
  const QString Take = Folder.Write("take 1.flac", FlacFile() + QByteArray(6'000'000, '\x5A'));
  Open();
  sim::TFaultSettings Slow;
  Slow.BandwidthKBps = 3000;
  Station.SetFaults(Slow);
  Select({6});
  ChooseFile = [&] { return Take; };
  Form->btInsert().click();
  ASSERT_TRUE(Form->Uploading());
  const QRegularExpression Progress(R"(^Uploading "take 1\.flac": (\d+) % sent \((\d+\.\d) of 6\.0 MB\)$)");
  QList<int> Percents;
  const auto Follow = [&] {
    const QRegularExpressionMatch Match = Progress.match(Status());
    if (Match.hasMatch() && (Percents.isEmpty() || Percents.last() != Match.captured(1).toInt())) {
      Percents.append(Match.captured(1).toInt());
    }
    return !Form->Uploading();
  };
  // Polling goes on meanwhile, and its answers leave the progress in place.
  ASSERT_TRUE(WaitFor([&] { return Follow() || Percents.size() >= 2; }, 20000));
  const size_t Polls = Requests("action=getplaylist2").size();
  Form->tmrMainTimer();
  ASSERT_TRUE(WaitFor([&] { return Follow() || Requests("action=getplaylist2").size() > Polls; }, 20000));
  ASSERT_TRUE(WaitFor(Follow, 30000));
  EXPECT_GE(Percents.size(), 2) << Percents.size();
  EXPECT_TRUE(std::is_sorted(Percents.begin(), Percents.end()));
  EXPECT_EQ(Status(), "\"take 1.flac\" inserted at 8");
  ASSERT_TRUE(WaitFor([this] { return Rows() == 11; }));
  EXPECT_EQ(Cell(7, 1), "take 1");
  EXPECT_TRUE(Boxes.Shown().isEmpty());

  // The notice stays through refreshes that change nothing, and goes with the next change.
  Refresh();
  EXPECT_EQ(Status(), "\"take 1.flac\" inserted at 8");
  Station.SetStatus(500);
  Refresh();
  EXPECT_EQ(Status(), "Simulated answer with status 500");
  Station.SetFaults({});
  Refresh();
  EXPECT_EQ(Status(), "");
}

TEST_F(MainFormTest, EscCancelsTheUploadAfterAsking) {
  test::TTempFolder Folder;
  const QString Take = Folder.Write("take 1.flac", FlacFile() + QByteArray(6'000'000, '\x5A'));
  Open();
  QApplication::setActiveWindow(Form.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  sim::TFaultSettings Slow;
  Slow.BandwidthKBps = 300;
  Station.SetFaults(Slow);
  Select({0});
  ChooseFile = [&] { return Take; };
  Form->btInsert().click();
  ASSERT_TRUE(WaitFor([this] { return Status().startsWith("Uploading \"take 1.flac\": "); }));

  Boxes.AnswerNext(IDNO);
  QSignalSpy ProgressShown(Form->findChild<QTimer*>("tmrUploadProgress"), &QTimer::timeout);
  QTest::keyClick(&Form->lvPlaylist(), Qt::Key_Escape);
  ASSERT_EQ(Boxes.Shown().size(), 1);
  EXPECT_EQ(Boxes.Shown()[0].Text, "Cancel the upload of \"take 1.flac\"?");
  EXPECT_EQ(Boxes.Shown()[0].Flags & 0x0F, MB_YESNO);
  // The next look at the upload still shows it: a cancelled one would be gone from the panel.
  ASSERT_TRUE(ProgressShown.wait());
  EXPECT_TRUE(Status().startsWith("Uploading \"take 1.flac\": ")) << Status().toStdString();
  EXPECT_TRUE(Form->Uploading());

  Boxes.AnswerNext(IDYES);
  QTest::keyClick(&Form->lvPlaylist(), Qt::Key_Escape);
  ASSERT_TRUE(WaitFor([this] { return !Form->Uploading(); }, 2000));
  EXPECT_EQ(Status(), "Upload of \"take 1.flac\" cancelled");
  EXPECT_EQ(Boxes.Shown().size(), 2) << "no error box";
  // The station reads the rest at full speed and finds the body broken off.
  Station.SetFaults({});
  ASSERT_TRUE(WaitFor([this] { return Station.BrokenBodies() == 1; }));
  Refresh();
  EXPECT_EQ(Rows(), 10);
  EXPECT_EQ(Status(), "Upload of \"take 1.flac\" cancelled");

  // Without an upload Esc asks nothing.
  QTest::keyClick(&Form->lvPlaylist(), Qt::Key_Escape);
  EXPECT_EQ(Boxes.Shown().size(), 2);
}

// The rows of a raw station: ten tracks of one minute.
QByteArray RawPlaylist(int ACount = 10) {
  QByteArray Playlist = "<?xml version=\"1.0\"?><PLAYLIST>";
  for (int I = 1; I <= ACount; ++I) {
    Playlist += "<TRACK CASTTITLE=\"Track " + QByteArray::number(I) + "\" DURATION=\"1:00\"/>";
  }
  return Playlist + "</PLAYLIST>";
}

// Once the whole body is out the station may insert the track: a cancel then cuts nothing,
// says so, and the station's answer decides. Asked before or after the last bytes went out,
// against a raw station and the simulator, both answering 1.5 s after reading the body, and the
// simulator over a 20 kB/s link, which is still reading when all has been sent.
TEST_F(MainFormTest, ACancelAfterTheWholeBodyIsOutCutsNothingAndTheAnswerDecides) {
  test::TTempFolder Folder;
  const QString Large = Folder.Write("take 1.flac", FlacFile() + QByteArray(6'000'000, '\x5A'));
  const QString Small = Folder.Write("take 2.flac", FlacFile() + QByteArray(60'000, '\x5A'));
  const QString TooLate = "The station already has the whole file; it may insert it.";
  std::atomic<int> RawPosts{0};
  test::TRawHttpServer Raw([&](const QByteArray& ARequest) {
    if (!ARequest.startsWith("POST ")) {
      return test::TRawReply::Answer(200, "OK", RawPlaylist(), "text/xml");
    }
    ++RawPosts;
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    return test::TRawReply::Answer(200, "OK", "OK");
  });
  struct TCase {
    const char* Name;
    bool UseRaw;
    int DelayMs;
    int BandwidthKBps;
    const QString& Take;
    // A small take is out before the question could be asked.
    bool AlsoAskedWhileSending;
  };
  const TCase Cases[] = {
      {"raw station", true, 0, 0, Large, true},
      {"simulator answering late", false, 1500, 0, Large, true},
      {"simulator over a slow link", false, 0, 20, Small, false},
  };
  for (const TCase& Case : Cases) {
    for (const bool AskedWhileSending : {false, true}) {
      if (AskedWhileSending && !Case.AlsoAskedWhileSending) {
        continue;
      }
      SCOPED_TRACE(std::string(Case.Name) +
                   (AskedWhileSending ? ", Yes after the last bytes" : ", asked after the last bytes"));
      const QString Name = QFileInfo(Case.Take).fileName();
      const auto AllSent = [&] {
        return Status() == "Uploading \"" + Name + "\": all sent, waiting for the station's answer";
      };
      Form.reset();
      Boxes.Clear();
      Station.SetPlaylist(Tracks(10));
      sim::TFaultSettings Faults;
      Faults.DelayMs = Case.DelayMs;
      Faults.BandwidthKBps = Case.BandwidthKBps;
      Station.SetFaults(Faults);
      Settings->SetPort(Case.UseRaw ? Raw.Port() : Station.Port());
      const int PostsBefore = RawPosts;
      Open();
      Select({6});
      ChooseFile = [&] { return Case.Take; };
      if (AskedWhileSending) {
        Boxes.DuringNext([&] { EXPECT_TRUE(WaitFor(AllSent, 20000)); });
        Boxes.AnswerNext(IDYES);
        Form->btInsert().click();
        Form->CancelUpload();
        ASSERT_EQ(Boxes.Shown().size(), 2);
        EXPECT_EQ(Boxes.Shown()[0].Text, "Cancel the upload of \"" + Name + "\"?");
      } else {
        Form->btInsert().click();
        ASSERT_TRUE(WaitFor(AllSent, 20000)) << Status().toStdString();
        Form->CancelUpload();
        ASSERT_EQ(Boxes.Shown().size(), 1);
      }
      EXPECT_EQ(Boxes.Shown().last().Text, TooLate);
      EXPECT_EQ(Boxes.Shown().last().Flags & 0x0F, MB_OK);
      ASSERT_TRUE(WaitFor([this] { return !Form->Uploading(); }, 30000));
      EXPECT_EQ(Status(), "\"" + Name + "\" inserted at 8");
      if (Case.UseRaw) {
        EXPECT_EQ(RawPosts - PostsBefore, 1);
      } else {
        Station.SetFaults({});
        ASSERT_TRUE(WaitFor([this] { return Rows() == 11; }, 20000));
        EXPECT_EQ(Cell(7, 1), QFileInfo(Name).completeBaseName());
      }
      ASSERT_TRUE(WorkersEnded());
      EXPECT_EQ(Boxes.Shown().size(), AskedWhileSending ? 2 : 1) << "no error box";
    }
  }
}

// For an upload, a 2xx status line is the station's yes, whatever becomes of the rest of the
// answer: a body broken off after it is no failure.
TEST_F(MainFormTest, AnUploadWhoseAnswerBreaksOffAfterAYesIsInserted) {
  test::TTempFolder Folder;
  const QString Take = Folder.Write("take 1.flac", FlacFile());
  test::TRawHttpServer Raw([&](const QByteArray& ARequest) {
    if (!ARequest.startsWith("POST ")) {
      return test::TRawReply::Answer(200, "OK", RawPlaylist(), "text/xml");
    }
    return test::TRawReply{"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 10\r\n\r\nO",
                           test::TRawReply::TEnd::Close};
  });
  for (const bool UseRaw : {true, false}) {
    SCOPED_TRACE(UseRaw ? "raw station" : "simulator");
    Form.reset();
    Boxes.Clear();
    Station.SetPlaylist(Tracks(10));
    Settings->SetPort(UseRaw ? Raw.Port() : Station.Port());
    Open();
    Select({6});
    ChooseFile = [&] { return Take; };
    Station.SetDrop(sim::TDrop::HalfBody);
    Form->btInsert().click();
    ASSERT_TRUE(WaitFor([this] { return !Form->Uploading(); }, 20000));
    EXPECT_EQ(Status(), "\"take 1.flac\" inserted at 8");
    ASSERT_TRUE(WorkersEnded());
    EXPECT_TRUE(Boxes.Shown().isEmpty()) << Boxes.Shown().value(0).Text.toStdString();
    Station.SetDrop(sim::TDrop::None);
    if (!UseRaw) {
      Refresh();
      EXPECT_EQ(Cell(7, 1), "take 1");
    }
  }
}

TEST_F(MainFormTest, AFlacFileDroppedOnARowIsInsertedAfterItLikeWithTheButton) {
  // A station that shows the exact bodies.
  QByteArray Playlist = "<?xml version=\"1.0\"?><PLAYLIST>";
  for (int I = 1; I <= 10; ++I) {
    Playlist += "<TRACK CASTTITLE=\"Track " + QByteArray::number(I) + "\" DURATION=\"1:00\"/>";
  }
  Playlist += "</PLAYLIST>";
  test::TRawHttpServer Raw([&](const QByteArray& ARequest) {
    return ARequest.startsWith("GET ") ? test::TRawReply::Answer(200, "OK", Playlist, "text/xml")
                                       : test::TRawReply::Answer(200, "OK", "OK");
  });
  Settings->SetPort(Raw.Port());
  const auto Posts = [&] {
    QList<QByteArray> Bodies;
    for (const QByteArray& Request : Raw.Requests()) {
      if (Request.startsWith("POST ")) {
        Bodies.append(test::RequestBody(Request));
      }
    }
    return Bodies;
  };
  test::TTempFolder Folder;
  const QString Take = Folder.Write("Take 1.FLAC", FlacFile());
  Open();
  ASSERT_EQ(Rows(), 10);

  Select({6});
  ChooseFile = [&] { return Take; };
  Form->btInsert().click();
  ASSERT_TRUE(WaitFor([&] { return Posts().size() == 1; }));

  Select({2});
  Boxes.AnswerNext(IDNO);
  EXPECT_EQ(DropFiles(6, {Take}), Qt::CopyAction);
  ASSERT_TRUE(WaitFor([&] { return Boxes.Shown().size() == 1; }));
  EXPECT_EQ(Boxes.Shown()[0].Text, "Insert \"Take 1.FLAC\" after row 7 \"Track 7\"?");
  EXPECT_EQ(Boxes.Shown()[0].Flags & 0x0F, MB_YESNO);
  ASSERT_TRUE(WorkersEnded());
  EXPECT_EQ(Posts().size(), 1) << "No sends nothing";

  Boxes.AnswerNext(IDYES);
  EXPECT_EQ(DropFiles(6, {Take}), Qt::CopyAction);
  ASSERT_TRUE(WaitFor([&] { return Posts().size() == 2; }));
  EXPECT_EQ(Posts()[1], Posts()[0]);
  EXPECT_TRUE(Posts()[1].contains("&pos=8&"));
  EXPECT_EQ(Selected(), QList<int>{2}) << "the drop leaves the selection alone";
  ASSERT_TRUE(WaitFor([this] { return Status() == "\"Take 1.FLAC\" inserted at 8"; }));
}

TEST_F(MainFormTest, OtherDropsFromOutsideAreRefused) {
  test::TTempFolder Folder;
  const QString Take = Folder.Write("take 1.flac", FlacFile());
  const QString Other = Folder.Write("take 2.flac", FlacFile());
  const QString Wave = Folder.Write("take 3.wav", FlacFile());
  Open();
  Select({1});
  EXPECT_EQ(DropFiles(5, {Take, Other}), Qt::IgnoreAction);
  EXPECT_EQ(Status(), "Only one voice track can be dropped at a time.");
  EXPECT_EQ(DropFiles(5, {Wave}), Qt::IgnoreAction);
  // A FLAC file that is not on this computer.
  QMimeData Remote;
  Remote.setUrls({QUrl("http://example.org/take.flac")});
  EXPECT_FALSE(DragOnto(5, Remote));
  ASSERT_TRUE(WorkersEnded());
  EXPECT_TRUE(Boxes.Shown().isEmpty());
  EXPECT_TRUE(Requests("POST").empty());
  EXPECT_TRUE(Requests("action=move").empty());
  EXPECT_EQ(Cell(1, 1), "Track 2");
}

TEST_F(MainFormTest, AFailedEditShowsTheStationsTextInAnErrorBox) {
  Open();
  Select({3});
  Station.SetPlaylist(Tracks(2));
  Form->btDelete().click();
  ASSERT_TRUE(WaitFor([this] { return !Boxes.Shown().isEmpty(); }));
  EXPECT_EQ(Boxes.Shown()[0].Text, "Invalid position");
  EXPECT_EQ(Boxes.Shown()[0].Caption, "Error");
  EXPECT_EQ(Boxes.Shown()[0].Flags & 0xF0, MB_ICONERROR);
}

TEST_F(MainFormTest, RecordStartsTheRecorderAndSettingsOnlyOpensTheDialog) {
  Open();
  Form->btRecord().click();
  ASSERT_EQ(Started.size(), 1);
  EXPECT_EQ(Started[0], (QStringList{"/opt/suite/pellorin", "-wavenard"}));
  EXPECT_TRUE(Boxes.Shown().isEmpty());
  // The real launcher, with the program missing, only answers false.
  EXPECT_FALSE(StartRecorderProcess("/nonexistent folder/pellorin", {"-wavenard"}));

  const size_t Before = Station.Requests().size();
  Form->btSettings().click();
  EXPECT_EQ(SettingsShownOver, Form.get());
  EXPECT_FALSE(Form->UpdatingPlaylist());
  ASSERT_TRUE(WorkersEnded());
  EXPECT_EQ(Station.Requests().size(), Before);
  EXPECT_EQ(Calls, QStringList{"read"});
}

TEST_F(MainFormTest, AFailedSettingsReadIsReportedAndTheWindowWorks) {
  ReadFailure = QStringLiteral("Error loading settings: bad text.");
  Open();
  ASSERT_EQ(Boxes.Shown().size(), 1);
  EXPECT_EQ(Boxes.Shown()[0].Text, "Error loading settings: bad text.");
  EXPECT_EQ(Boxes.Shown()[0].Caption, "Error");
  EXPECT_EQ(Rows(), 10);
}

TEST_F(MainFormTest, ClosingSavesSystemThenConnectionSettingsWithoutWaitingForTheStation) {
  Open();
  Station.SetDelay(60000);
  Form->tmrMainTimer();
  ASSERT_TRUE(WaitForRequest("action=getplaylist2", 2));
  QElapsedTimer Clock;
  Clock.start();
  Form->close();
  Form.reset();
  EXPECT_TRUE(Workers.Join(1500));
  EXPECT_LT(Clock.elapsed(), 2000);
  EXPECT_EQ(Calls, (QStringList{"read", "system.ini", "settings.ini"}));
}

TEST_F(MainFormTest, ClosingWithTwentyEditsInFlightEndsThemAllAndDeliversNothing) {
  Station.SetPlaylist(Tracks(20));
  Open();
  Station.SetDelay(60000);
  // Each names another row: a second edit of a row on its way would be refused.
  for (int I = 0; I < 20; ++I) {
    Select({I});
    Form->btDeleteClick();
  }
  // The simulator serves a few requests at a time; the others wait in its queue, but all twenty
  // are in flight for the window.
  ASSERT_TRUE(WaitForRequest("action=delete", 2));
  Form->close();
  Form.reset();
  EXPECT_TRUE(Workers.Join(1500));
  QCoreApplication::processEvents();
  EXPECT_TRUE(Boxes.Shown().isEmpty()) << "no result reached the closed window";
}

TEST_F(MainFormTest, NothingReachesTheWindowWhileAShutdownBoxIsOpen) {
  Open();
  Station.SetDelay(300);
  Form->tmrMain().setInterval(50);
  Form->tmrMain().start();
  ASSERT_TRUE(WaitForRequest("action=getplaylist2", 2));
  ASSERT_TRUE(Form->UpdatingPlaylist());
  // A failed save shows a modal box: its event loop runs until the outstanding worker has
  // ended, and delivers nothing to the closing window.
  DuringSystemSave = [this] { EXPECT_TRUE(WorkersEnded()); };
  Form->close();
  EXPECT_TRUE(Form->UpdatingPlaylist());
  EXPECT_FALSE(Form->tmrMain().isActive());
  EXPECT_EQ(Requests("action=getplaylist2").size(), 2u);
}

TEST_F(MainFormTest, ARefusedRequestStartIsShownOnceAndTheNextTickAsksAgain) {
  Open();
  const size_t Asked = Requests("action=getplaylist2").size();
  {
    const test::TRefusedThreadStarts Refused;
    for (int Tick = 0; Tick < 3; ++Tick) {
      Form->tmrMainTimer();
      EXPECT_FALSE(Form->UpdatingPlaylist()) << "no answer can come, so the guard is down";
    }
    // An edit whose worker cannot start is freed and reported, and changes nothing.
    Select({2});
    Form->btDelete().click();
  }
  // No worker that could not start is left for shutdown to wait for.
  EXPECT_TRUE(Workers.Join(0));
  ASSERT_EQ(Boxes.Shown().size(), 2);
  EXPECT_TRUE(Boxes.Shown()[1].Text.contains("Thread start failed (F=0"))
      << Boxes.Shown()[1].Text.toStdString();
  EXPECT_TRUE(Boxes.Shown()[0].Text.startsWith("Thread start failed (F=0 Ex=0 LE="))
      << Boxes.Shown()[0].Text.toStdString();
  EXPECT_EQ(Boxes.Shown()[0].Caption, "Error");
  EXPECT_EQ(Boxes.Shown()[0].Flags & 0xF0, MB_ICONERROR);
  EXPECT_EQ(Requests("action=getplaylist2").size(), Asked);

  Refresh();
  EXPECT_EQ(Requests("action=getplaylist2").size(), Asked + 1);
  EXPECT_TRUE(Requests("action=delete").empty());
  EXPECT_EQ(Rows(), 10);
}

// An edit on its way greys the rows it names, says so, and refuses a second edit of them; other
// edits still go out at once. Once the list after its answer arrives the rows are the
// station's again, and the row that followed the deleted one is the current row.
TEST_F(MainFormTest, AnEditOnItsWayKeepsItsRowsFromASecondEdit) {
  Open();
  auto* Model = Form->lvPlaylist().model();
  const auto Pending = [&](int ARow) {
    return Model->data(Model->index(ARow, 1), Qt::ForegroundRole) ==
           QVariant(TPlaylistViewModel::PendingRowColor);
  };
  Station.SetDelay(1500);
  Select({2});
  Form->btDeleteClick();
  EXPECT_EQ(Status(), "Deleting \"Track 3\"\u2026");
  EXPECT_TRUE(Pending(2));
  EXPECT_FALSE(Pending(3));

  const QString Refused = "\"Track 3\" is being deleted; wait for the station's answer.";
  // Delete again, and move the row with the keys and by dragging it.
  Form->btDeleteClick();
  EXPECT_EQ(Status(), Refused);
  Form->MoveSelectedRow(1);
  EXPECT_EQ(Cell(2, 1), "Track 3") << "not exchanged";
  Select({5});
  EXPECT_TRUE(DragOnto(2, *OwnDrag()));
  EXPECT_EQ(Status(), Refused);
  EXPECT_EQ(Cell(5, 1), "Track 6");

  // Another row goes out at once.
  Select({7});
  Form->btDeleteClick();
  EXPECT_EQ(Status(), "Deleting \"Track 8\"\u2026");
  ASSERT_TRUE(WaitForRequest("action=delete", 2));
  ASSERT_TRUE(WorkersEnded());
  // Both are in flight at once, so the station may log them in either order.
  std::vector<std::string> Deletes = Requests("action=delete");
  std::sort(Deletes.begin(), Deletes.end());
  EXPECT_EQ(Deletes, (std::vector<std::string>{"GET /?user=demo&pass=demo&action=delete&pos=3",
                                               "GET /?user=demo&pass=demo&action=delete&pos=8"}));
  EXPECT_TRUE(Requests("action=move").empty());
  Station.SetDelay(0);
  Refresh();
  EXPECT_EQ(Rows(), 8);
  EXPECT_FALSE(Pending(2));
  EXPECT_EQ(Status(), "");
  EXPECT_TRUE(Boxes.Shown().isEmpty());
}

// A failed edit frees its rows at once: the station did nothing to them.
TEST_F(MainFormTest, AFailedEditFreesItsRows) {
  Open();
  Station.SetStatus(500);
  Select({2});
  Form->btDeleteClick();
  ASSERT_TRUE(WaitFor([this] { return !Boxes.Shown().isEmpty(); }));
  Station.SetFaults({});
  Form->btDeleteClick();
  ASSERT_TRUE(WaitForRequest("action=delete", 2));
}

// The current row follows each edit, so that the keyboard goes on from where the presenter was.
TEST_F(MainFormTest, TheCurrentRowFollowsEachEdit) {
  test::TTempFolder Folder;
  const QString Take = Folder.Write("take 1.flac", FlacFile());
  Open();
  Select({4});
  Form->btDeleteClick();
  ASSERT_TRUE(WaitFor([this] { return Rows() == 9; }));
  ASSERT_TRUE(WaitFor([this] { return Selected() == QList<int>{4}; }));
  EXPECT_EQ(Cell(4, 1), "Track 6");
  EXPECT_EQ(Form->lvPlaylist().currentIndex().row(), 4);

  ChooseFile = [&] { return Take; };
  Form->btInsertClick();
  ASSERT_TRUE(WaitFor([this] { return Rows() == 10; }));
  ASSERT_TRUE(WaitFor([this] { return Selected() == QList<int>{5}; }));
  EXPECT_EQ(Cell(5, 1), "take 1");
  EXPECT_EQ(Form->lvPlaylist().currentIndex().row(), 5);

  Select({1});
  EXPECT_TRUE(DragOnto(6, *OwnDrag()));
  EXPECT_EQ(Selected(), QList<int>{6});
  EXPECT_EQ(Form->lvPlaylist().currentIndex().row(), 6);
}

// "... inserted at 8" stands while it holds: a list with another track there, or half a
// minute (shortened here), takes it away.
TEST_F(MainFormTest, TheInsertNoticeGoesWhenItNoLongerHolds) {
  test::TTempFolder Folder;
  const QString Take = Folder.Write("take 1.flac", FlacFile());
  Open();
  ChooseFile = [&] { return Take; };
  Select({6});
  Form->btInsertClick();
  ASSERT_TRUE(WaitFor([this] { return Rows() == 11; }));
  ASSERT_TRUE(WorkersEnded());
  EXPECT_EQ(Status(), "\"take 1.flac\" inserted at 8");
  // The top track plays out: the take is at 7 now.
  TTrackList Shifted = Station.Playlist();
  Shifted.Delete(1);
  Station.SetPlaylist(Shifted);
  Refresh();
  EXPECT_EQ(Status(), "");

  Form->findChild<QTimer*>("tmrInsertNotice")->setInterval(200);
  Select({2});
  Form->btInsertClick();
  ASSERT_TRUE(WaitFor([this] { return Status() == "\"take 1.flac\" inserted at 4"; }));
  ASSERT_TRUE(WaitFor([this] { return Status().isEmpty(); }));
}

// The drop's question names a song; the insert goes after that song wherever the list has put
// it meanwhile, and nowhere when it can no longer be found.
TEST_F(MainFormTest, ADroppedTakeGoesAfterTheSongTheQuestionNamed) {
  test::TTempFolder Folder;
  const QString Take = Folder.Write("take.flac", FlacFile());
  struct TCase {
    const char* Name;
    std::function<TTrackList()> Shift;
    int After;  // the row the take lands after, -1 when nothing is sent
  };
  TTrack Early;
  Early.Title = "Early";
  Early.DurationMs = 1000;
  const TCase Cases[] = {
      {"a track added above",
       [&] {
         TTrackList L = Tracks(10);
         L.Insert(1, Early);
         return L;
       },
       7},
      {"the top played out",
       [&] {
         TTrackList L = Tracks(10);
         L.Delete(1);
         return L;
       },
       5},
      {"the song itself is gone",
       [&] {
         TTrackList L = Tracks(10);
         L.Delete(7);
         return L;
       },
       -1},
      {"a second equal song appeared",
       [&] {
         TTrackList L = Tracks(10);
         L.Append(Tracks(7).Tracks()[6]);
         return L;
       },
       -1},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Form.reset();
    Boxes.Clear();
    Station.SetPlaylist(Tracks(10));
    Open();
    Boxes.DuringNext([&] {
      Station.SetPlaylist(Case.Shift());
      Refresh();
    });
    Boxes.AnswerNext(IDYES);
    const int Before = static_cast<int>(Requests("POST /").size());
    EXPECT_EQ(DropFiles(6, {Take}), Qt::CopyAction);
    ASSERT_TRUE(WaitFor([&] { return !Boxes.Shown().isEmpty(); }));
    EXPECT_EQ(Boxes.Shown()[0].Text, "Insert \"take.flac\" after row 7 \"Track 7\"?");
    ASSERT_TRUE(WorkersEnded());
    if (Case.After < 0) {
      EXPECT_EQ(static_cast<int>(Requests("POST /").size()), Before);
      ASSERT_EQ(Boxes.Shown().size(), 2);
      EXPECT_TRUE(Boxes.Shown()[1].Text.contains("\"take.flac\" was not sent"))
          << Boxes.Shown()[1].Text.toStdString();
      continue;
    }
    Refresh();
    EXPECT_EQ(Cell(Case.After, 1), "Track 7");
    EXPECT_EQ(Cell(Case.After + 1, 1), "take");
    EXPECT_EQ(Boxes.Shown().size(), 1);
  }
}

}  // namespace
}  // namespace wavenard
