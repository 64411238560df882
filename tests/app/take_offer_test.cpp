#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <atomic>
#include <mutex>

#include "app/sent_takes_proxy.h"
#include "app/take_offer_bar.h"
#include "tests/app/main_form_fixture.h"
#include "tests/testsupport/raw_http_server.h"
#include "tests/testsupport/temp_folder.h"

namespace wavenard {
namespace {

// A take as the recorder leaves it while it records and the presenter reviews: created, written,
// and held open and locked; released by Keep, which touches the file.
class TRecordedTake {
 public:
  TRecordedTake(const QString& APath, const QByteArray& AContent) : FPath(APath) {
    FFd = ::open(QFile::encodeName(APath).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    EXPECT_GE(FFd, 0);
    EXPECT_EQ(::flock(FFd, LOCK_EX), 0);
    EXPECT_EQ(::write(FFd, AContent.constData(), static_cast<size_t>(AContent.size())), AContent.size());
  }
  ~TRecordedTake() { Keep(); }
  TRecordedTake(const TRecordedTake&) = delete;
  TRecordedTake& operator=(const TRecordedTake&) = delete;
  void Keep() {
    if (FFd >= 0) {
      ::close(std::exchange(FFd, -1));
      ::utimensat(AT_FDCWD, QFile::encodeName(FPath).constData(), nullptr, 0);
    }
  }

 private:
  QString FPath;
  int FFd = -1;
};

// The window against a raw station that shows the exact bodies; its list can be shifted.
class TakeOfferTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    TakesFolder = Takes.Path();
    Settings->SetPort(Raw.Port());
  }
  QByteArray RawList() {
    std::lock_guard Guard(Lock);
    QByteArray Playlist = "<?xml version=\"1.0\"?><PLAYLIST>";
    for (const QByteArray& Title : Titles) {
      Playlist += "<TRACK CASTTITLE=\"" + Title + "\" DURATION=\"1:00\"/>";
    }
    return Playlist + "</PLAYLIST>";
  }
  void SetTitles(QList<QByteArray> ATitles) {
    std::lock_guard Guard(Lock);
    Titles = std::move(ATitles);
  }
  QList<QByteArray> Posts() {
    QList<QByteArray> Bodies;
    for (const QByteArray& Request : Raw.Requests()) {
      if (Request.startsWith("POST ")) {
        Bodies.append(test::RequestBody(Request));
      }
    }
    return Bodies;
  }
  bool Offered() { return !Form->TakeOfferBar().isHidden(); }
  QString OfferText() { return Form->TakeOfferBar().Text().text(); }

  test::TTempFolder Takes;
  std::mutex Lock;
  QList<QByteArray> Titles{"Track 1", "Track 2", "Track 3", "Odessa Finch - Copper Rain",
                           "Track 5", "Track 6"};
  test::TRawHttpServer Raw{[this](const QByteArray& ARequest) {
    return ARequest.startsWith("GET ") ? test::TRawReply::Answer(200, "OK", RawList(), "text/xml")
                                       : test::TRawReply::Answer(200, "OK", "OK");
  }};
};

// Record, speak, Stop (Keep), one key: the take goes after the song selected at Record, where the
// list has moved it meanwhile, with exactly the body of the Insert button.
TEST_F(TakeOfferTest, AFinishedTakeIsOfferedAndOneKeyInsertsItAfterTheSongMeant) {
  Takes.Write("VT 2026-12-09 18-00-00.flac", FlacFile());
  Open();
  Activate();
  QSignalSpy Said(&Form->StatusPanel(), &TStatusPanel::Announced);
  Select({3});
  Form->btRecordClick();
  ASSERT_EQ(Started.size(), 1);
  EXPECT_FALSE(Offered()) << "a take from before the window is not new";

  // While the presenter speaks, the top track plays out and another arrives above the song.
  SetTitles({"Track 2", "Breaking News", "Track 3", "Odessa Finch - Copper Rain", "Track 5", "Track 6"});
  Refresh();
  Select({0});
  const QString Name = "VT 2026-12-10 19-04-12.flac";
  {
    TRecordedTake Take(Takes.File(Name), FlacFile());
    Form->tmrMainTimer();
    ASSERT_TRUE(WaitFor([this] { return !Form->UpdatingPlaylist(); }));
    QTest::qWait(200);
    EXPECT_FALSE(Offered()) << "still held by the recorder";
  }
  ASSERT_TRUE(WaitFor([this] { return Offered(); }));
  EXPECT_EQ(OfferText(), "New take \"" + Name + "\" (0:03)");
  auto& Bar = Form->TakeOfferBar();
  EXPECT_EQ(Bar.btInsertTake().text(), "Insert after \"Odessa Finch - Copper Rain\"");
  // Each button is reached with Tab from the list, and has a name.
  QSet<QWidget*> Reached;
  for (int Press = 0; Press < 12; ++Press) {
    Key(Qt::Key_Tab);
    Reached.insert(QApplication::focusWidget());
  }
  for (QPushButton* Button : {&Bar.btInsertTake(), &Bar.btChoosePlace(), &Bar.btDismissTake()}) {
    EXPECT_TRUE(Reached.contains(Button)) << Button->objectName().toStdString();
    EXPECT_FALSE(Button->accessibleName().isEmpty() && Button->text().isEmpty());
  }
  Form->lvPlaylist().setFocus();
  ASSERT_FALSE(Said.isEmpty());
  EXPECT_EQ(Said.last()[0].toString(),
            "New take \"" + Name + "\" (0:03). Ctrl+I inserts it after \"Odessa Finch - Copper Rain\".");

  Key(Qt::Key_I, Qt::ControlModifier);
  ASSERT_TRUE(WaitFor([&] { return Posts().size() == 1; }));
  EXPECT_FALSE(Offered());
  ASSERT_TRUE(WaitFor([this] { return !Form->Uploading(); }));
  EXPECT_EQ(Status(), "\"" + Name + "\" inserted at 5");

  // The Insert button's body for the same song and file.
  Select({3});
  ChooseFile = [&] { return Takes.File(Name); };
  Form->btInsertClick();
  ASSERT_TRUE(WaitFor([&] { return Posts().size() == 2; }));
  EXPECT_EQ(Posts()[0], Posts()[1]);
  EXPECT_TRUE(Posts()[0].contains("&pos=5&"));
  EXPECT_EQ(ChooserFolders.value(0), Takes.Path());
  EXPECT_TRUE(ChooserSent.contains(Takes.File(Name))) << "the dialog marks the take sent";

  // Touched again, a sent take is not offered again.
  ::utimensat(AT_FDCWD, QFile::encodeName(Takes.File(Name)).constData(), nullptr, 0);
  Form->tmrMainTimer();
  QTest::qWait(200);
  EXPECT_FALSE(Offered());
  ASSERT_TRUE(WorkersEnded());
  EXPECT_TRUE(Boxes.Shown().isEmpty());
}

// Several takes wait, oldest first; without a song known the bar asks for a row; Dismiss and
// a discarded take are never sent.
TEST_F(TakeOfferTest, TakesWaitInOrderAndWithoutASongTheBarAsksForARow) {
  Open();
  Activate();
  auto& Bar = Form->TakeOfferBar();
  Takes.Write("VT 2026-12-10 19-00-00.flac", FlacFile());
  ASSERT_TRUE(WaitFor([this] { return Offered(); }));
  Takes.Write("VT 2026-12-10 19-05-00.flac", FlacFile());
  ASSERT_TRUE(WaitFor([this] { return OfferText().contains("1 more waiting"); }));
  EXPECT_TRUE(OfferText().startsWith("New take \"VT 2026-12-10 19-00-00.flac\""));
  EXPECT_TRUE(OfferText().endsWith("Select the song to insert it after.")) << OfferText().toStdString();
  EXPECT_FALSE(Bar.btInsertTake().isEnabled());
  {
    // Recorded and discarded: never offered.
    TRecordedTake Discarded(Takes.File("VT 2026-12-10 19-06-00.flac"), FlacFile());
    QFile::remove(Takes.File("VT 2026-12-10 19-06-00.flac"));
  }
  Key(Qt::Key_I, Qt::ControlModifier);
  EXPECT_EQ(Status(), "Select the song to insert the take after, then press Ctrl+I.");

  Bar.btDismissTake().click();
  EXPECT_TRUE(OfferText().startsWith("New take \"VT 2026-12-10 19-05-00.flac\""))
      << OfferText().toStdString();
  Select({1});
  EXPECT_EQ(Bar.btInsertTake().text(), "Insert after \"Track 2\"");
  Bar.btInsertTake().setFocus();
  Key(Qt::Key_Space);
  ASSERT_TRUE(WaitFor([&] { return Posts().size() == 1; }));
  EXPECT_EQ(QApplication::focusWidget(), &Form->lvPlaylist()) << "the keyboard goes back to the list";
  EXPECT_TRUE(Posts()[0].contains("&fn=VT+2026-12-10+19-05-00.flac&pos=3&"))
      << Posts()[0].left(200).toStdString();
  EXPECT_FALSE(Offered());
  Form->tmrMainTimer();
  ASSERT_TRUE(WorkersEnded());
  EXPECT_EQ(Posts().size(), 1);
}

// The file dialog marks what was sent, without changing what it lists or returns.
TEST(SentTakesProxy, MarksOnlyTheFilesSent) {
  QStandardItemModel Files;
  for (const char* Path : {"/takes/a.flac", "/takes/b.flac"}) {
    auto* Item = new QStandardItem(QFileInfo(Path).fileName());
    Item->setData(QString::fromLatin1(Path), QFileSystemModel::FilePathRole);
    Files.appendRow(Item);
  }
  TSentTakesProxy Proxy({"/takes/b.flac"});
  Proxy.setSourceModel(&Files);
  const QModelIndex A = Proxy.index(0, 0);
  const QModelIndex B = Proxy.index(1, 0);
  EXPECT_EQ(B.data().toString(), "b.flac");
  EXPECT_EQ(B.data(Qt::ToolTipRole).toString(), TSentTakesProxy::SentText);
  EXPECT_EQ(B.data(Qt::AccessibleDescriptionRole).toString(), TSentTakesProxy::SentText);
  EXPECT_TRUE(B.data(Qt::FontRole).value<QFont>().italic());
  EXPECT_FALSE(A.data(Qt::ToolTipRole).isValid());
  EXPECT_FALSE(A.data(Qt::FontRole).isValid());
}

}  // namespace
}  // namespace wavenard
