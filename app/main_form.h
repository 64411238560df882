#pragma once

#include <QMainWindow>
#include <QSet>
#include <QTimer>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/pending_edits.h"
#include "app/playlist_view_model.h"
#include "app/song_finder.h"
#include "app/zn_virtual_tree.h"
#include "remote/playlist.h"

class QAction;
class QStatusBar;
class QToolBar;
class QToolButton;
class QDropEvent;

namespace wavenard {

class TAPI;
class TBoxPresenter;
class TCertificateTrust;
class TColumnFit;
class TConnectionLock;
class TDpiCache;
class THandOver;
class TKeyboardRow;
class TLiveIndicator;
class TPinnedKeys;
class TPlainTextNotice;
class TSettings;
class TStatusPanel;
class TTakeOfferBar;
class TTakeWatcher;
struct TFinishedTake;
class TVirtualTreePlaylist;
struct TUpload;
class TUploadTracker;
class TWorkerPool;

// Asks the user for one file, starting in AInitialDir, with the files of ASent (absolute
// paths) marked as already sent; empty when the user cancels.
using TFileChooser =
    std::function<QString(QWidget* AParent, const QString& AInitialDir, const QSet<QString>& ASent)>;
// Starts a program with its arguments kept apart, without waiting for it; false when it cannot be started.
using TProgramStarter = std::function<bool(const QString& AProgram, const QStringList& AArguments)>;

// The FLAC file dialog of the insert command.
QString ChooseVoiceTrackFile(QWidget* AParent, const QString& AInitialDir, const QSet<QString>& ASent);
// Starts a program through the process launcher.
bool StartRecorderProcess(const QString& AProgram, const QStringList& AArguments);

// What the playlist window asks of the program around it: the settings files and dialog, the
// one folder takes are recorded into and chosen from, and the general error report. It outlives
// the window.
class TMainFrmHost {
 public:
  virtual ~TMainFrmHost() = default;

  // Reads "settings.ini" into the connection settings; may raise.
  virtual void ReadSettings() = 0;
  // Writes "settings.ini"; shows its own failures.
  virtual void SaveSettings() = 0;
  // Writes "system.ini"; shows its own failures.
  virtual void SaveSystemSettings() = 0;
  // The settings dialog, modal over AParent.
  virtual void ShowSettings(QWidget* AParent) = 0;
  virtual QString VoiceTracksFolder() const = 0;
  // Where a failure that would leave an event handler ends.
  virtual void ReportError(const std::exception& AError) = 0;
  // The stations whose own certificates the presenter trusts; none: such a station is refused
  // without asking.
  virtual std::shared_ptr<TPinnedKeys> PinnedKeys() { return nullptr; }
  // The file that keeps the window's place and its columns between runs; none when empty.
  virtual QString WindowStateFile() const { return {}; }
};

// The program's main window: the station's playlist, polled every five seconds, with the
// record, insert, delete and settings commands and moving a row by dragging it onto another.
class TMainFrm final : public QMainWindow, private TCellTextSource, private TDropPolicy {
  Q_OBJECT

 public:
  static constexpr int PollInterval = 5000;

  // AApplicationFolder ends with the path delimiter. The host, the boxes, the pool that runs the
  // request workers and the DPI cache outlive the window.
  TMainFrm(std::shared_ptr<TSettings> ASettings, TMainFrmHost& AHost, TBoxPresenter& ABoxes,
           TWorkerPool& AWorkers, TDpiCache& ADpi, QString AApplicationFolder,
           TFileChooser AChooseFile = ChooseVoiceTrackFile,
           TProgramStarter AStartProgram = StartRecorderProcess, QWidget* AParent = nullptr);
  // Frees the playlist and saves the connection settings.
  ~TMainFrm() override;
  Q_DISABLE_COPY_MOVE(TMainFrm)

  TVirtualTreePlaylist& lvPlaylist() { return *FPlaylistView; }
  TStatusPanel& StatusPanel() { return *FStatusPanel; }
  TConnectionLock& ConnectionLock() { return *FConnectionLock; }
  TTakeOfferBar& TakeOfferBar() { return *FTakeOfferBar; }
  TLiveIndicator& LiveIndicator() { return *FLiveIndicator; }
  QToolButton& btRecord() { return *FRecordButton; }
  QToolButton& btInsert() { return *FInsertButton; }
  QToolButton& btDelete() { return *FDeleteButton; }
  QToolButton& btSettings() { return *FSettingsButton; }
  QTimer& tmrMain() { return FTimer; }
  const TPlaylist* Playlist() const { return FPlaylist.get(); }
  // Whether a playlist request is outstanding.
  bool UpdatingPlaylist() const { return FUpdatingPlaylist; }
  // Whether the window has begun closing: no result reaches it any more.
  bool Closing() const { return FClosing; }

  // The command handlers, public so that they can be driven like the buttons.
  void btRecordClick();
  void btInsertClick();
  void btDeleteClick();
  void btSettingsClick();
  void tmrMainTimer();
  // Ctrl+I and the offer bar's insert button: inserts the take offered after the song
  // remembered when Record was pressed, else after the selected row.
  void InsertOfferedTake();
  // Esc: asks whether to cancel the upload shown in the status panel, and cancels it.
  void CancelUpload();
  // Whether a voice track is being uploaded.
  bool Uploading() const;
  // Puts AText into the status panel: one plain line, the whole text in its tool tip; a spoken
  // text is also said to assistive technology when its line changes.
  void ShowStatus(const QString& AText, bool ASpoken = true);
  // Moves the one selected row one place up (-1) or down (1), as dropping it onto that
  // neighbour does; the selection goes with it.
  void MoveSelectedRow(int ADelta);

 protected:
  void showEvent(QShowEvent* AEvent) override;
  void closeEvent(QCloseEvent* AEvent) override;

 private:
  void CreateToolbar();
  void CreateList();
  // The keyboard commands; each runs what its button or drag runs.
  void CreateShortcuts();
  void FormShow();
  void FormClose();
  // Stops the timer and every delivery of results, and aborts the transfers in flight.
  void BeginClosing();
  void RefreshPlaylist();
  void OnPlaylistResult(TAPI& ASender);
  void OnTrackEditResult(TAPI& ASender);
  void UpdatePlaylistView();
  // lvPlaylist's get-text: the row number, title and duration of a row.
  QString CellText(int ARow, int AColumn) const override;
  // lvPlaylist's drag over: the playlist's drop rules answer, and a refusal worth telling is
  // shown as a notice.
  bool AcceptsDrop(const QDropEvent& AEvent) override;
  Qt::DropAction DropAction(const QDropEvent& AEvent) override;
  void lvPlaylistDragDrop(const QDropEvent& AEvent);
  // Exchanges the two rows at once and asks the station to move ASource to ATarget; false
  // when nothing was done (a row outside the list, or one that an edit on its way names).
  bool MoveRow(int ASource, int ATarget);
  // Makes ARow the current and only selected row, and scrolls to it.
  void SelectRow(int ARow);
  // Marks the rows of ANew that the list shown before lacked; says what changed.
  void ShowPlaylistChanges(const TPlaylist* AOld, const TPlaylist& ANew);
  // Tells assistive technology AText.
  void Announce(const QString& AText);
  // Where the window and its columns were at the last close.
  void RestoreWindowState();
  void SaveWindowState();
  // The lowest selected row, or -1.
  int FirstSelectedRow() const;
  int SelectedCount() const;
  // ADone, when given, is announced when the request succeeds; a failure announces its text.
  std::unique_ptr<TAPI> NewWorker(void (TMainFrm::*AMethod)(TAPI&), const QString& ADone = {});
  // A worker for the pending edit AEdit; its answer ends the edit (a failure at once, a success
  // with the list that follows it) and then goes to OnTrackEditResult.
  std::unique_ptr<TAPI> NewEditWorker(int AEdit, const QString& ADone);
  // Refuses an edit naming ARows while another naming one of them is on its way, with a notice.
  bool RefusedAsPending(const std::vector<int>& ARows);
  void ShowPendingEdits();
  // Once the list numbered ARefresh has arrived: the pending edits it shows done end, the row
  // an edit left to select is selected, and the insert notice goes when it no longer holds.
  void FollowEdits(int ARefresh);
  template <class F>
  void Guarded(F AAction);

  // The insert of the button and of a dropped file: reads the file, starts the upload and
  // follows it; a file failure is shown in a box and nothing is sent.
  // False when nothing was sent.
  bool InsertVoiceTrackFile(int APosition, const QString& AFileName);
  // A new take from the voice-tracks folder: offered unless it went to the station already.
  void OfferTake(const TFinishedTake& ATake);
  // The song a take offered now would go after.
  std::optional<TSongRef> OfferedSong() const;
  void UpdateOfferedSong();
  // "Choose another place…": the take goes after the row the presenter selects next.
  void ChooseOfferPlace();
  void OnInsertResult(TAPI& ASender, const std::shared_ptr<TUpload>& AUpload);
  void AskInsertDroppedFile(int ARow, const TSongRef& ASong, const QString& AFileName);
  // Inserts AFileName right after the song ASong where it stands now; when it is gone or cannot
  // be told apart any more, nothing is sent and the presenter is told. False then.
  bool InsertAfterSong(const TSongRef& ASong, const QString& AFileName);

  // After an edit: the row to select once the list numbered Refresh shows the edit done; with
  // a Title, the row showing it there or, failing that, anywhere.
  struct TRowToSelect {
    int Row = 0;
    QString Title;
    int Refresh = 0;
    // The pending edit whose answer sets Refresh; 0 when it is set already.
    int Edit = 0;
  };
  // "... inserted at 8": it holds while row Row shows the track the station put there; Title
  // is learnt from the first list numbered Refresh or later.
  struct TInsertNotice {
    QString Text;
    int Row = 0;
    QString Title;
    int Refresh = 0;
  };

  const std::shared_ptr<TSettings> FSettings;
  TMainFrmHost& FHost;
  TBoxPresenter& FBoxes;
  TWorkerPool& FWorkers;
  TDpiCache& FDpi;
  const QString FApplicationFolder;
  const TFileChooser FChooseFile;
  const TProgramStarter FStartProgram;
  std::shared_ptr<THandOver> FHandOver;
  std::unique_ptr<TPlaylist> FPlaylist;
  bool FUpdatingPlaylist = false;
  // A refused start of the playlist request has been shown; cleared by the next start.
  bool FStartRefusalShown = false;
  bool FShown = false;
  bool FClosing = false;

  QToolBar* FFlowPanel = nullptr;
  QToolButton* FRecordButton = nullptr;
  QToolButton* FInsertButton = nullptr;
  QToolButton* FDeleteButton = nullptr;
  QToolButton* FSettingsButton = nullptr;
  TPlaylistViewModel FModel;
  TVirtualTreePlaylist* FPlaylistView = nullptr;
  QStatusBar* FStatusBar = nullptr;
  TStatusPanel* FStatusPanel = nullptr;
  TConnectionLock* FConnectionLock = nullptr;
  std::unique_ptr<TPlainTextNotice> FPlainTextNotice;
  const std::shared_ptr<TPinnedKeys> FPinnedKeys;
  std::unique_ptr<TCertificateTrust> FCertificateTrust;
  TTakeOfferBar* FTakeOfferBar = nullptr;
  TTakeWatcher* FTakeWatcher = nullptr;
  // The song selected when Record was pressed, for the take that comes of it.
  std::optional<TSongRef> FRecordSong;
  // The files sent to the station in this run, by absolute path.
  QSet<QString> FSentTakes;
  TLiveIndicator* FLiveIndicator = nullptr;
  TColumnFit* FColumnFit = nullptr;
  TKeyboardRow* FKeyboardRow = nullptr;
  QTimer FTimer;

  QAction* FCancelUploadAction = nullptr;
  TPendingEdits FPendingEdits;
  // The uploads in flight and what the status panel shows.
  TUploadTracker* FUploads = nullptr;
  // How many playlist requests have been started; the one outstanding has this number.
  int FRefreshesStarted = 0;
  std::optional<TRowToSelect> FSelectAfterRefresh;
  std::optional<TInsertNotice> FInsertNotice;
  // An insert notice does not outlive this.
  QTimer FInsertNoticeTimer;
};

}  // namespace wavenard
