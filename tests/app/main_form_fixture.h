#pragma once

#include <gtest/gtest.h>

#include <unistd.h>
#include <QDropEvent>
#include <QFile>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QTest>
#include <algorithm>
#include <functional>
#include <optional>

#include "app/error_report.h"
#include "app/main_form.h"
#include "app/status_panel.h"
#include "app/virtual_tree_playlist.h"
#include "config/connection_settings.h"
#include "config/failures.h"
#include "support/threads/worker_pool.h"
#include "tests/app/view_fixture.h"
#include "tests/testsupport/scripted_box_presenter.h"
#include "tools/station-sim/station_sim.h"

// The playlist window against the simulator, with every seam of the window answered by the
// fixture; shared by the window's test programs.
namespace wavenard {

using sim::TTrack;
using sim::TTrackList;

inline TTrackList Tracks(int ACount, const std::string& APrefix = "Track") {
  TTrackList List;
  for (int I = 0; I < ACount; ++I) {
    TTrack Track;
    Track.Title = APrefix + " " + std::to_string(I + 1);
    Track.DurationMs = (60 + I) * 1000;
    List.Append(Track);
  }
  return List;
}

// "fLaC" and a stream information block for three seconds at 44.1 kHz.
inline QByteArray FlacFile() {
  QByteArray Bytes("fLaC");
  Bytes += char(0x80);  // last metadata block, type 0
  Bytes += QByteArray::fromHex("000022");
  Bytes += QByteArray::fromHex("10001000000000000000");
  const quint64 Packed =
      (quint64(44100) << 44) | (quint64(1) << 41) | (quint64(15) << 36) | quint64(3 * 44100);
  for (int Shift = 56; Shift >= 0; Shift -= 8) {
    Bytes += char((Packed >> Shift) & 0xFF);
  }
  Bytes += QByteArray(16, '\0');
  return Bytes;
}

// Resident memory of this process.
inline qint64 ResidentBytes() {
  QFile Statm(QStringLiteral("/proc/self/statm"));
  if (!Statm.open(QIODevice::ReadOnly)) {
    return 0;
  }
  return Statm.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

inline bool WaitFor(const std::function<bool()>& ACondition, int ATimeout = 10000) {
  return QTest::qWaitFor(ACondition, ATimeout);
}

// The fixture is the window's host as well: it records what the window asks of it.
class MainFormTest : public ::testing::Test, public TMainFrmHost {
 protected:
  void SetUp() override {
    Station.SetPlaylist(Tracks(10));
    ASSERT_TRUE(Station.Start());
    Settings->SetServer(QStringLiteral("127.0.0.1"));
    Settings->SetPort(Station.Port());
    Settings->SetUser(QStringLiteral("demo"));
    Settings->SetPass(QStringLiteral("demo"));
  }

  void TearDown() override {
    Form.reset();
    EXPECT_TRUE(Workers.Join(5000));
  }

  void ReadSettings() override {
    Calls.append("read");
    if (ReadFailure) {
      throw ESyntaxFailure(*ReadFailure);
    }
  }
  void SaveSettings() override { Calls.append("settings.ini"); }
  void SaveSystemSettings() override {
    Calls.append("system.ini");
    if (DuringSystemSave) {
      DuringSystemSave();
    }
  }
  void ShowSettings(QWidget* AParent) override { SettingsShownOver = AParent; }
  QString VoiceTracksFolder() const override { return TakesFolder; }
  void ReportError(const std::exception& AError) override { ShowErrorReport(Boxes, AError); }

  // Creates and shows the window and waits for its first playlist answer.
  void Open() {
    Form = std::make_unique<TMainFrm>(
        Settings, *this, Boxes, Workers, Dpi, QStringLiteral("/opt/suite/"),
        [this](QWidget*, const QString& AFolder, const QSet<QString>& ASent) {
          ChooserFolders.append(AFolder);
          ChooserSent = ASent;
          return ChooseFile ? ChooseFile() : QString();
        },
        [this](const QString& AProgram, const QStringList& AArguments) {
          Started.append(QStringList{AProgram} + AArguments);
          return false;
        });
    Form->show();
    ASSERT_TRUE(WaitFor([this] { return !Form->UpdatingPlaylist(); }));
  }

  // One tick, and its answer.
  void Refresh() {
    Form->tmrMainTimer();
    ASSERT_TRUE(WaitFor([this] { return !Form->UpdatingPlaylist(); }));
  }

  QString Cell(int ARow, int AColumn) {
    auto* Model = Form->lvPlaylist().model();
    return Model->data(Model->index(ARow, AColumn)).toString();
  }
  int Rows() { return Form->lvPlaylist().model()->rowCount(); }

  void Select(std::initializer_list<int> ARows) {
    auto& View = Form->lvPlaylist();
    View.clearSelection();
    for (int Row : ARows) {
      View.selectionModel()->select(View.model()->index(Row, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
  }
  QList<int> Selected() {
    QList<int> Result;
    for (const QModelIndex& Index : Form->lvPlaylist().selectionModel()->selectedRows()) {
      Result.append(Index.row());
    }
    std::sort(Result.begin(), Result.end());
    return Result;
  }

  // The requests on "/" that contain AText.
  std::vector<std::string> Requests(const std::string& AText) {
    std::vector<std::string> Result;
    for (const std::string& Line : Station.Requests()) {
      if (Line.find(AText) != std::string::npos) {
        Result.push_back(Line);
      }
    }
    return Result;
  }
  bool WaitForRequest(const std::string& AText, size_t ACount = 1) {
    return WaitFor([&] { return Requests(AText).size() >= ACount; });
  }
  // Serves the event loop until every worker has ended: each request started so far is in the
  // station's log, and its result has been delivered or dropped.
  bool WorkersEnded() {
    return WaitFor([this] { return Workers.Join(0); });
  }

  // Sends a drag of AData over row ATarget and drops it there; returns whether the list
  // accepted the drag.
  // AX, when given, is the drop point's distance from the list's left edge.
  bool DragOnto(int ATarget, const QMimeData& AData, std::optional<int> AX = {}) {
    QWidget* Client = Form->lvPlaylist().viewport();
    QPoint Point = Form->lvPlaylist().visualRect(Form->lvPlaylist().model()->index(ATarget, 1)).center();
    if (AX) {
      Point.setX(*AX);
    }
    QDragEnterEvent Enter(Point, Qt::MoveAction, &AData, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Client, &Enter);
    QDragMoveEvent Move(Point, Qt::MoveAction, &AData, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Client, &Move);
    const bool Accepted = Move.isAccepted();
    QDropEvent Drop(QPointF(Point), Qt::MoveAction, &AData, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Client, &Drop);
    return Accepted;
  }
  // Drags the files AFiles in from a file manager, which offers to copy, move or link them,
  // over row ATarget and drops them there. Returns the action the list shows, none when it
  // refuses the drag.
  Qt::DropAction DropFiles(int ATarget, const QStringList& AFiles) {
    QMimeData Data;
    QList<QUrl> Urls;
    for (const QString& File : AFiles) {
      Urls.append(QUrl::fromLocalFile(File));
    }
    Data.setUrls(Urls);
    const Qt::DropActions Offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QWidget* Client = Form->lvPlaylist().viewport();
    const QPoint Point =
        Form->lvPlaylist().visualRect(Form->lvPlaylist().model()->index(ATarget, 1)).center();
    QDragEnterEvent Enter(Point, Offered, &Data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Client, &Enter);
    QDragMoveEvent Move(Point, Offered, &Data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Client, &Move);
    const Qt::DropAction Action = Move.isAccepted() ? Move.dropAction() : Qt::IgnoreAction;
    if (Move.isAccepted()) {
      QDropEvent Drop(QPointF(Point), Offered, &Data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(Client, &Drop);
      EXPECT_EQ(Drop.dropAction(), Qt::CopyAction) << "the file manager keeps its file";
    }
    return Action;
  }
  QString Status() { return Form->StatusPanel().Status(); }
  // Makes the window the active one, so that its shortcuts answer, and gives the list the focus.
  void Activate() {
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    Form->lvPlaylist().setFocus();
  }
  void Key(int AKey, Qt::KeyboardModifiers AModifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(AKey), AModifiers);
  }
  bool Marked(int ARow) {
    auto* Model = Form->lvPlaylist().model();
    return Model->data(Model->index(ARow, 1), Qt::BackgroundRole).isValid();
  }
  QList<int> MarkedRows() {
    QList<int> Result;
    for (int Row = 0; Row < Rows(); ++Row) {
      if (Marked(Row)) {
        Result.append(Row);
      }
    }
    return Result;
  }
  std::unique_ptr<QMimeData> OwnDrag() {
    auto* Model = Form->lvPlaylist().model();
    return std::unique_ptr<QMimeData>(Model->mimeData({Model->index(FirstSelected(), 0)}));
  }
  int FirstSelected() {
    const QList<int> Rows = Selected();
    return Rows.isEmpty() ? 0 : Rows.first();
  }

  sim::TStationSim Station{"demo", "demo"};
  std::shared_ptr<TSettings> Settings = std::make_shared<TSettings>();
  test::TScriptedBoxPresenter Boxes;
  TWorkerPool Workers;
  TFixedDpiSource DpiSource;
  TDpiCache Dpi{DpiSource};
  std::function<QString()> ChooseFile;
  std::optional<QString> ReadFailure;
  std::function<void()> DuringSystemSave;
  QString TakesFolder = QStringLiteral("/voice/tracks");
  QStringList ChooserFolders;
  QSet<QString> ChooserSent;
  QList<QStringList> Started;
  QStringList Calls;
  QWidget* SettingsShownOver = nullptr;
  std::unique_ptr<TMainFrm> Form;
};

}  // namespace wavenard
