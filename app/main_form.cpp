#include "app/main_form.h"

#include "app/window_font.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QScreen>
#include <QStatusBar>
#include <QTime>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "app/certificate_trust.h"
#include "app/column_fit.h"
#include "app/connection_lock.h"
#include "app/keyboard_row.h"
#include "app/live_indicator.h"
#include "app/plain_text_notice.h"
#include "app/playlist_changes.h"
#include "app/playlist_drop.h"
#include "app/playlist_view_setup.h"
#include "app/sent_takes_proxy.h"
#include "app/status_panel.h"
#include "app/take_offer_bar.h"
#include "app/take_watcher.h"
#include "app/upload_tracker.h"
#include "app/virtual_tree_playlist.h"
#include "app/window_state_file.h"
#include "config/connection_settings.h"
#include "config/failures.h"
#include "remote/request_worker.h"
#include "support/dpi.h"
#include "support/failure.h"
#include "support/guarded_call.h"
#include "support/message_box.h"
#include "support/process.h"
#include "support/threads/hand_over.h"
#include "support/threads/worker_pool.h"

namespace wavenard {

namespace {

constexpr QSize ClientSize(624, 435);
constexpr QSize ButtonSize(40, 38);
constexpr QSize IconSize(30, 30);
constexpr int ButtonMargin = 3;
constexpr int ListMargin = 8;
constexpr int RowPadding = 8;
// How long "... inserted at 8" may stand before it is taken as stale.
constexpr int InsertNoticeTime = 30000;
const QString EmptyPlaylistText = QStringLiteral("The station sent an empty playlist");

#ifdef Q_OS_WIN
const QString RecorderProgram = QStringLiteral("pellorin.exe");
#else
const QString RecorderProgram = QStringLiteral("pellorin");
#endif
const QString RecorderSwitch = QStringLiteral("-wavenard");

}  // namespace

QString ChooseVoiceTrackFile(QWidget* AParent, const QString& AInitialDir, const QSet<QString>& ASent) {
  QFileDialog OpenDialog1(AParent);
  OpenDialog1.setObjectName(QStringLiteral("OpenDialog1"));
  // The dialog's own list, so that the takes already sent can be marked in it.
  OpenDialog1.setOption(QFileDialog::DontUseNativeDialog);
  OpenDialog1.setProxyModel(new TSentTakesProxy(ASent, &OpenDialog1));
  OpenDialog1.setAcceptMode(QFileDialog::AcceptOpen);
  OpenDialog1.setFileMode(QFileDialog::ExistingFile);
  OpenDialog1.setNameFilter(QStringLiteral("FLAC (*.flac)"));
  OpenDialog1.setDirectory(AInitialDir);
  if (OpenDialog1.exec() != QDialog::Accepted || OpenDialog1.selectedFiles().isEmpty()) {
    return {};
  }
  return OpenDialog1.selectedFiles().constFirst();
}

bool StartRecorderProcess(const QString& AProgram, const QStringList& AArguments) {
  try {
    StartProgram(AProgram, AArguments);
  } catch (const EFailure&) {
    return false;
  }
  return true;
}

TMainFrm::TMainFrm(std::shared_ptr<TSettings> ASettings, TMainFrmHost& AHost, TBoxPresenter& ABoxes,
                   TWorkerPool& AWorkers, TDpiCache& ADpi, QString AApplicationFolder,
                   TFileChooser AChooseFile, TProgramStarter AStartProgram, QWidget* AParent)
    : QMainWindow(AParent),
      FSettings(std::move(ASettings)),
      FHost(AHost),
      FBoxes(ABoxes),
      FWorkers(AWorkers),
      FDpi(ADpi),
      FApplicationFolder(std::move(AApplicationFolder)),
      FChooseFile(std::move(AChooseFile)),
      FStartProgram(std::move(AStartProgram)),
      FHandOver(THandOver::Create(this)),
      FPinnedKeys(FHost.PinnedKeys()),
      FCertificateTrust(std::make_unique<TCertificateTrust>(FBoxes, FPinnedKeys)),
      FTimer(this),
      FInsertNoticeTimer(this) {
  setObjectName(QStringLiteral("MainFrm"));
  setWindowTitle(QStringLiteral("Wavenard"));
  setWindowIcon(QIcon(QStringLiteral(":/icons/wavenard.svg")));
  setFont(WindowFont());
  FUploads = new TUploadTracker(FPendingEdits, this);

  // A failure here goes to the general report; the window is created all the same and works
  // with the settings as they are.
  Guarded([this] { FHost.ReadSettings(); });

  CreateToolbar();
  CreateList();
  CreateShortcuts();
  FStatusBar = new QStatusBar(this);
  FStatusBar->setObjectName(QStringLiteral("StatusBar1"));
  FStatusBar->setAccessibleName(QStringLiteral("Status"));
  FStatusPanel = new TStatusPanel(FStatusBar);
  FStatusBar->addWidget(FStatusPanel, 1);
  FLiveIndicator = new TLiveIndicator(FStatusBar);
  FStatusBar->addPermanentWidget(FLiveIndicator);
  connect(FLiveIndicator, &TLiveIndicator::StaleChanged, this, [this](bool AStale) {
    SetPlaylistMuted(*FPlaylistView, AStale);
    // A lost connection is said through the status panel's error; its return is said here.
    if (!AStale) {
      Announce(FLiveIndicator->SpokenText());
    }
  });
  FKeyboardRow = new TKeyboardRow(*FPlaylistView, FModel, *FStatusPanel);
  FConnectionLock = new TConnectionLock(FStatusBar);
  FStatusBar->addPermanentWidget(FConnectionLock);
  FPlainTextNotice = std::make_unique<TPlainTextNotice>(FSettings, FBoxes, *FConnectionLock);
  setStatusBar(FStatusBar);

  // The recorder's takes, offered as they are finished.
  FTakeWatcher = new TTakeWatcher(FHost.VoiceTracksFolder(), this);
  connect(FTakeWatcher, &TTakeWatcher::TakeFinished, this,
          [this](const TFinishedTake& ATake) { Guarded([&] { OfferTake(ATake); }); });
  connect(FTakeOfferBar, &TTakeOfferBar::InsertClicked, this,
          [this] { Guarded([this] { InsertOfferedTake(); }); });
  connect(FTakeOfferBar, &TTakeOfferBar::FocusLeft, this, [this] { FPlaylistView->setFocus(); });
  connect(FTakeOfferBar, &TTakeOfferBar::ChoosePlaceClicked, this,
          [this] { Guarded([this] { ChooseOfferPlace(); }); });
  connect(FPlaylistView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { UpdateOfferedSong(); });

  resize(ClientSize);
  if (const QScreen* Screen = screen()) {
    QRect Frame(QPoint(), ClientSize);
    Frame.moveCenter(Screen->availableGeometry().center());
    move(Frame.topLeft());
  }
  FColumnFit = &FitPlaylistColumns(*FPlaylistView, ClientSize.width() - 2 * ListMargin);
  RestoreWindowState();

  FTimer.setObjectName(QStringLiteral("tmrMain"));
  FTimer.setInterval(PollInterval);
  connect(&FTimer, &QTimer::timeout, this, [this] { tmrMainTimer(); });
  FTimer.start();

  connect(FUploads, &TUploadTracker::StatusChanged, this, &TMainFrm::ShowStatus);
  // Only while an upload runs does Esc mean anything here.
  FCancelUploadAction = new QAction(QStringLiteral("Cancel upload"), this);
  FCancelUploadAction->setObjectName(QStringLiteral("actCancelUpload"));
  FCancelUploadAction->setShortcut(Qt::Key_Escape);
  FCancelUploadAction->setShortcutContext(Qt::WindowShortcut);
  FCancelUploadAction->setEnabled(false);
  connect(FCancelUploadAction, &QAction::triggered, this, [this] { Guarded([this] { CancelUpload(); }); });
  connect(FUploads, &TUploadTracker::UploadingChanged, FCancelUploadAction, &QAction::setEnabled);
  addAction(FCancelUploadAction);

  FInsertNoticeTimer.setObjectName(QStringLiteral("tmrInsertNotice"));
  FInsertNoticeTimer.setSingleShot(true);
  FInsertNoticeTimer.setInterval(InsertNoticeTime);
  connect(&FInsertNoticeTimer, &QTimer::timeout, this, [this] {
    if (FInsertNotice && FUploads->Notice() == FInsertNotice->Text) {
      FUploads->SetNotice(QString());
    }
    FInsertNotice.reset();
  });
}

TMainFrm::~TMainFrm() {
  BeginClosing();
  // The window's own answers go before the window does; the list outlives them.
  FPlaylistView->SetDropPolicy(nullptr);
  // The rows let go of their items before the list is freed, so nothing draws from it.
  FModel.Rebind(0);
  FPlaylist.reset();
  Guarded([this] { FHost.SaveSettings(); });
}

void TMainFrm::CreateToolbar() {
  FFlowPanel = new QToolBar(this);
  FFlowPanel->setObjectName(QStringLiteral("FlowPanel1"));
  FFlowPanel->setAccessibleName(QStringLiteral("Commands"));
  FFlowPanel->setMovable(false);
  FFlowPanel->setFloatable(false);
  FFlowPanel->toggleViewAction()->setVisible(false);
  setContextMenuPolicy(Qt::NoContextMenu);
  // The buttons' own margins set the gaps: no frame, handle or spacing of the bar's own.
  FFlowPanel->setStyleSheet(QStringLiteral("QToolBar { border: 0px; padding: 0px; spacing: 0px; }"));

  auto* Panel = new QWidget(FFlowPanel);
  auto* Layout = new QHBoxLayout(Panel);
  Layout->setContentsMargins(0, ButtonMargin, 0, ButtonMargin);
  Layout->setSpacing(0);
  struct TButtonEntry {
    QToolButton*& Button;
    const char* Name;
    const char* Hint;
    const char* Icon;
    int Space;
    void (TMainFrm::*Click)();
    QKeySequence Key;
  };
  const TButtonEntry Entries[] = {
      {FRecordButton, "btRecord", "Record voice track", "record", 3, &TMainFrm::btRecordClick,
       QKeySequence(Qt::CTRL | Qt::Key_R)},
      {FInsertButton, "btInsert", "Insert voice track", "insert", 3, &TMainFrm::btInsertClick,
       QKeySequence(Qt::Key_Insert)},
      {FDeleteButton, "btDelete", "Delete track", "delete", 6, &TMainFrm::btDeleteClick,
       QKeySequence(Qt::Key_Delete)},
      {FSettingsButton, "btSettings", "Settings", "settings", 6, &TMainFrm::btSettingsClick,
       QKeySequence(Qt::CTRL | Qt::Key_Comma)},
  };
  for (const TButtonEntry& Entry : Entries) {
    auto* Button = new QToolButton(Panel);
    Button->setObjectName(QString::fromLatin1(Entry.Name));
    Button->setToolTip(QStringLiteral("%1 (%2)").arg(QLatin1String(Entry.Hint),
                                                     Entry.Key.toString(QKeySequence::NativeText)));
    Button->setAccessibleName(QString::fromLatin1(Entry.Hint));
    Button->setShortcut(Entry.Key);
    Button->setIcon(QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(Entry.Icon))));
    Button->setIconSize(IconSize);
    Button->setFixedSize(ButtonSize);
    Button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    Button->setAutoRaise(true);
    Button->setFocusPolicy(Qt::TabFocus);
    Layout->addSpacing(Entry.Space);
    Layout->addWidget(Button);
    connect(Button, &QToolButton::clicked, this,
            [this, Click = Entry.Click] { Guarded([&] { (this->*Click)(); }); });
    Entry.Button = Button;
  }
  FFlowPanel->addWidget(Panel);
  // The bar's own overflow button, shown when the window is too narrow for the buttons.
  if (auto* More = FFlowPanel->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"))) {
    More->setAccessibleName(QStringLiteral("More commands"));
  }
  addToolBar(Qt::TopToolBarArea, FFlowPanel);
}

void TMainFrm::CreateList() {
  auto* Client = new QWidget(this);
  auto* Layout = new QVBoxLayout(Client);
  Layout->setContentsMargins(ListMargin, ListMargin, ListMargin, ListMargin);
  FPlaylistView = new TVirtualTreePlaylist(FDpi, Client);
  FPlaylistView->setObjectName(QStringLiteral("lvPlaylist"));
  ConfigurePlaylistView(*FPlaylistView, FModel);
  FModel.SetTextSource(this);
  FPlaylistView->SetDropPolicy(this);
  // The drop keeps its failures to itself, as Qt lets no exception through a signal; a failing
  // answer ends in the list's Failed.
  connect(FPlaylistView, &TZnVirtualTree::DragDrop, this,
          [this](const QDropEvent& AEvent) { Guarded([&] { lvPlaylistDragDrop(AEvent); }); });
  connect(FPlaylistView, &TZnVirtualTree::Failed, this,
          [this](const std::exception& AError) { FHost.ReportError(AError); });
  FTakeOfferBar = new TTakeOfferBar(Client);
  Layout->addWidget(FTakeOfferBar);
  Layout->addWidget(FPlaylistView);
  setCentralWidget(Client);
  FPlaylistView->setFocus();
}

void TMainFrm::CreateShortcuts() {
  struct TShortcut {
    const char* Name;
    QKeySequence Key;
    std::function<void()> Run;
  };
  const TShortcut Shortcuts[] = {
      {"acMoveUp", QKeySequence(Qt::CTRL | Qt::Key_Up), [this] { MoveSelectedRow(-1); }},
      {"acMoveDown", QKeySequence(Qt::CTRL | Qt::Key_Down), [this] { MoveSelectedRow(1); }},
      // Through the refresh guard, like a tick: dropped while a request is outstanding.
      {"acRefresh", QKeySequence(Qt::Key_F5), [this] { RefreshPlaylist(); }},
      {"acInsertTake", QKeySequence(Qt::CTRL | Qt::Key_I), [this] { InsertOfferedTake(); }},
  };
  for (const TShortcut& Shortcut : Shortcuts) {
    auto* Action = new QAction(this);
    Action->setObjectName(QString::fromLatin1(Shortcut.Name));
    Action->setShortcut(Shortcut.Key);
    connect(Action, &QAction::triggered, this, [this, Run = Shortcut.Run] { Guarded(Run); });
    addAction(Action);
  }
}

template <class F>
void TMainFrm::Guarded(F AAction) {
  GuardedCall(AAction, [this](const std::exception& AError) { FHost.ReportError(AError); });
}

void TMainFrm::showEvent(QShowEvent* AEvent) {
  QMainWindow::showEvent(AEvent);
  if (!FShown) {
    FShown = true;
    Guarded([this] { FormShow(); });
  }
}

void TMainFrm::closeEvent(QCloseEvent* AEvent) {
  if (!FClosing) {
    BeginClosing();
    FormClose();
  }
  AEvent->accept();
}

void TMainFrm::FormShow() {
  const int TextHeight = FPlaylistView->fontMetrics().size(Qt::TextSingleLine, QStringLiteral("Cy")).height();
  FPlaylistView->SetDefaultRowHeight(TextHeight + FDpi.ScaleByDPI(RowPadding));
  RefreshPlaylist();
}

void TMainFrm::FormClose() {
  Guarded([this] { FHost.SaveSystemSettings(); });
  SaveWindowState();
}

void TMainFrm::RestoreWindowState() {
  const QString FileName = FHost.WindowStateFile();
  if (!FileName.isEmpty()) {
    TWindowStateFile(FileName).Restore(*this, *FPlaylistView->header(), *FColumnFit);
  }
}

void TMainFrm::SaveWindowState() {
  const QString FileName = FHost.WindowStateFile();
  if (FileName.isEmpty()) {
    return;
  }
  try {
    TWindowStateFile(FileName).Save(*this, *FPlaylistView->header(), *FColumnFit);
  } catch (const EFileFailure& E) {
    // Only the window's place is lost: the next start opens it where it always starts.
    qWarning("%s", qUtf8Printable(E.Message()));
  }
}

void TMainFrm::BeginClosing() {
  if (FClosing) {
    return;
  }
  FClosing = true;
  FTimer.stop();
  FUploads->StopFollowing();
  // A worker waiting to deliver is released, and a transfer in flight ends at its next check.
  FHandOver->Close();
}

void TMainFrm::tmrMainTimer() {
  RefreshPlaylist();
  // A release of a take that no watch reported is seen here at the latest.
  FTakeWatcher->Recheck();
}

void TMainFrm::RefreshPlaylist() {
  if (FUpdatingPlaylist || FClosing) {
    return;
  }
  FPlainTextNotice->Update();
  // The notice's box lets ticks and closing through while it is open.
  if (FUpdatingPlaylist || FClosing) {
    return;
  }
  FUpdatingPlaylist = true;
  ++FRefreshesStarted;
  try {
    FWorkers.Start(NewWorker(&TMainFrm::OnPlaylistResult),
                   [](TAPI& AWorker) { AWorker.GetPlaylistContents(); });
  } catch (const EThread& E) {
    // No answer will come: the next tick asks again, and the user hears of it once.
    FUpdatingPlaylist = false;
    if (!FStartRefusalShown) {
      FStartRefusalShown = true;
      FBoxes.MyMessageBox(E.Message(), QStringLiteral("Error"), MB_OK | MB_ICONERROR);
    }
    return;
  }
  FStartRefusalShown = false;
  FLiveIndicator->RefreshStarted();
}

std::unique_ptr<TAPI> TMainFrm::NewWorker(void (TMainFrm::*AMethod)(TAPI&), const QString& ADone) {
  TAPICallback Callback{FHandOver, [this, AMethod, ADone](TAPI& ASender) {
                          Guarded([&] {
                            // Said before a failure's box opens, which holds the callback.
                            if (!ADone.isEmpty()) {
                              Announce(ASender.Success() ? ADone : ASender.Error());
                            }
                            (this->*AMethod)(ASender);
                            if (FCertificateTrust->Consider(ASender)) {
                              RefreshPlaylist();
                            }
                          });
                        }};
  auto Worker = std::make_unique<TAPI>(FSettings, std::move(Callback));
  Worker->SetPinnedKeys(FPinnedKeys);
  return Worker;
}

void TMainFrm::OnPlaylistResult(TAPI& ASender) {
  FUpdatingPlaylist = false;
  if (ASender.Success()) {
    std::unique_ptr<TPlaylist> Old = std::move(FPlaylist);
    FPlaylist = ASender.TakePlaylist();
    if (!FPlaylist) {
      FPlaylist = std::make_unique<TPlaylist>();
    }
    ShowPlaylistChanges(Old.get(), *FPlaylist);
    const int Focused = FPlaylistView->currentIndex().row();
    const bool Rebuilt = FModel.rowCount() != FPlaylist->Count();
    UpdatePlaylistView();
    FollowEdits(FRefreshesStarted);
    if (Rebuilt && Focused >= 0) {
      FKeyboardRow->Rebuilt(Focused);
    }
    // An answer without rows is told, so that an emptied list is never a silent one.
    FUploads->SetPlaylistStatus(FPlaylist->Count() == 0 ? EmptyPlaylistText : QString());
    FLiveIndicator->RefreshSucceeded(QTime::currentTime());
  } else {
    FUploads->SetPlaylistStatus(ASender.Error());
    FLiveIndicator->RefreshFailed(QTime::currentTime());
  }
}

void TMainFrm::Announce(const QString& AText) {
  FStatusPanel->Announce(AText);
}

void TMainFrm::ShowPlaylistChanges(const TPlaylist* AOld, const TPlaylist& ANew) {
  // The first list is all new: nothing to point out.
  if (!AOld) {
    return;
  }
  TPlaylistChanges Changes = ComparePlaylists(*AOld, ANew);
  FModel.MarkNewRows(std::move(Changes.NewRows));
  if (!Changes.Empty()) {
    Announce(Changes.Summary());
  }
}

std::unique_ptr<TAPI> TMainFrm::NewEditWorker(int AEdit, const QString& ADone) {
  TAPICallback Callback{FHandOver, [this, AEdit, ADone](TAPI& ASender) {
                          Guarded([&] {
                            Announce(ASender.Success() ? ADone : ASender.Error());
                            // Done once a list asked for after the answer shows it.
                            if (ASender.Success()) {
                              FPendingEdits.Answered(AEdit, FRefreshesStarted + 1);
                              if (FSelectAfterRefresh && FSelectAfterRefresh->Edit == AEdit) {
                                FSelectAfterRefresh->Refresh = FRefreshesStarted + 1;
                              }
                            } else {
                              FPendingEdits.Remove(AEdit);
                              if (FSelectAfterRefresh && FSelectAfterRefresh->Edit == AEdit) {
                                FSelectAfterRefresh.reset();
                              }
                            }
                            ShowPendingEdits();
                            OnTrackEditResult(ASender);
                          });
                        }};
  return std::make_unique<TAPI>(FSettings, std::move(Callback));
}

bool TMainFrm::RefusedAsPending(const std::vector<int>& ARows) {
  const QString Refusal = FPendingEdits.Refusal(ARows);
  if (Refusal.isEmpty()) {
    return false;
  }
  FUploads->SetNotice(Refusal);
  return true;
}

void TMainFrm::ShowPendingEdits() {
  FModel.SetPendingRows(FPendingEdits.Rows(FModel.rowCount()));
  FUploads->Update();
}

void TMainFrm::FollowEdits(int ARefresh) {
  FPendingEdits.RefreshArrived(ARefresh);
  ShowPendingEdits();
  const int Count = FPlaylist->Count();
  if (FSelectAfterRefresh && FSelectAfterRefresh->Refresh != 0 && FSelectAfterRefresh->Refresh <= ARefresh) {
    const TRowToSelect Wanted = *std::exchange(FSelectAfterRefresh, std::nullopt);
    int Row = std::clamp(Wanted.Row, 0, Count - 1);
    if (!Wanted.Title.isEmpty() && Row >= 0 && FPlaylist->Items(Row).Title != Wanted.Title) {
      Row = -1;
      for (int I = 0; I < Count && Row < 0; ++I) {
        Row = FPlaylist->Items(I).Title == Wanted.Title ? I : -1;
      }
    }
    if (Row >= 0) {
      SelectRow(Row);
    }
  }
  if (FInsertNotice && FInsertNotice->Refresh <= ARefresh) {
    const bool Shown = FInsertNotice->Row < Count;
    if (Shown && FInsertNotice->Title.isEmpty()) {
      FInsertNotice->Title = FPlaylist->Items(FInsertNotice->Row).Title;
    } else if (!Shown || FPlaylist->Items(FInsertNotice->Row).Title != FInsertNotice->Title) {
      if (FUploads->Notice() == FInsertNotice->Text) {
        FUploads->ClearNotice();
      }
      FInsertNotice.reset();
    }
  }
}

void TMainFrm::OnTrackEditResult(TAPI& ASender) {
  if (ASender.Success()) {
    RefreshPlaylist();
  } else {
    FBoxes.MyMessageBox(ASender.Error(), QStringLiteral("Error"), MB_OK | MB_ICONERROR);
  }
}

void TMainFrm::UpdatePlaylistView() {
  UpdatePlaylistRows(*FPlaylistView, FModel, FPlaylist ? FPlaylist->Count() : 0);
}

QString TMainFrm::CellText(int ARow, int AColumn) const {
  // Rows bind to the list by index; a row without an item shows nothing.
  if (!FPlaylist || ARow < 0 || ARow >= FPlaylist->Count()) {
    return {};
  }
  switch (AColumn) {
    case 0:
      return QString::number(ARow + 1);
    case 1:
      return FPlaylist->Items(ARow).Title;
    case 2:
      return FPlaylist->Items(ARow).Duration;
    default:
      return {};
  }
}

int TMainFrm::FirstSelectedRow() const {
  const QModelIndexList Rows = FPlaylistView->selectionModel()->selectedRows();
  if (Rows.isEmpty()) {
    return -1;
  }
  return std::min_element(Rows.begin(), Rows.end(),
                          [](const QModelIndex& A, const QModelIndex& B) { return A.row() < B.row(); })
      ->row();
}

int TMainFrm::SelectedCount() const {
  return static_cast<int>(FPlaylistView->selectionModel()->selectedRows().size());
}

bool TMainFrm::AcceptsDrop(const QDropEvent& AEvent) {
  const TDropAnswer Answer =
      AnswerPlaylistDrag({AEvent.mimeData(), FModel.IsOwnDrag(AEvent.mimeData()), SelectedCount(),
                          FPlaylistView->indexAt(AEvent.position().toPoint()).row(),
                          FPlaylist ? FPlaylist->Count() : 0, FClosing});
  if (!Answer.Reason.isEmpty()) {
    FUploads->SetNotice(Answer.Reason);
  }
  return Answer.Accepted;
}

Qt::DropAction TMainFrm::DropAction(const QDropEvent& AEvent) {
  return PlaylistDropAction(FModel.IsOwnDrag(AEvent.mimeData()));
}

void TMainFrm::lvPlaylistDragDrop(const QDropEvent& AEvent) {
  if (!AcceptsDrop(AEvent) || !FPlaylist) {
    return;
  }
  const int Target = FPlaylistView->indexAt(AEvent.position().toPoint()).row();
  if (!FModel.IsOwnDrag(AEvent.mimeData())) {
    const QString FileName = DroppedVoiceTrack(AEvent.mimeData()).Path;
    const TSongRef Song = RememberSong(*FPlaylist, Target);
    // Asked once the drop has ended, so that the file manager is not kept waiting on the box.
    QTimer::singleShot(0, this, [this, Target, Song, FileName] {
      Guarded([&] { AskInsertDroppedFile(Target, Song, FileName); });
    });
    return;
  }
  // The moved row stays the current one, as with the keys.
  if (MoveRow(FirstSelectedRow(), Target)) {
    SelectRow(Target);
  }
}

bool TMainFrm::MoveRow(int ASource, int ATarget) {
  if (!FPlaylist || ASource < 0 || ATarget < 0 || ASource >= FPlaylist->Count() ||
      ATarget >= FPlaylist->Count() || RefusedAsPending({ASource, ATarget})) {
    return false;
  }
  const QString Title = FPlaylist->Items(ASource).Title;
  // The two rows show each other's track at once; the next refresh shows the station's order.
  FPlaylist->Exchange(ASource, ATarget);
  FModel.ExchangeMarks(ASource, ATarget);
  FModel.Rebind(FPlaylist->Count());
  const int Edit = FPendingEdits.Add(TPendingEdits::TKind::Move, {ASource, ATarget}, Title);
  FUploads->ClearNotice();
  try {
    FWorkers.Start(NewEditWorker(Edit, QStringLiteral("Track moved")),
                   [&](TAPI& AWorker) { AWorker.MovePlaylistTrack(ASource, ATarget); });
  } catch (...) {
    FPendingEdits.Remove(Edit);
    ShowPendingEdits();
    throw;
  }
  ShowPendingEdits();
  return true;
}

void TMainFrm::SelectRow(int ARow) {
  const QModelIndex Row = FModel.index(ARow, 0);
  FPlaylistView->selectionModel()->setCurrentIndex(
      Row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  FPlaylistView->ShowRow(Row);
}

void TMainFrm::MoveSelectedRow(int ADelta) {
  // As a drag: only a single selected row moves.
  if (SelectedCount() != 1 || !FPlaylist) {
    return;
  }
  const int Source = FirstSelectedRow();
  const int Target = Source + ADelta;
  if (Target < 0 || Target >= FPlaylist->Count()) {
    return;
  }
  if (MoveRow(Source, Target)) {
    SelectRow(Target);
    // The row is read where it now stands before the move's outcome is said.
    FKeyboardRow->Moved(Target);
  }
}

void TMainFrm::btDeleteClick() {
  const int Row = FirstSelectedRow();
  if (Row < 0 || RefusedAsPending({Row})) {
    return;
  }
  const QString Title = FPlaylist && Row < FPlaylist->Count() ? FPlaylist->Items(Row).Title : QString();
  const int Edit = FPendingEdits.Add(TPendingEdits::TKind::Delete, {Row}, Title);
  FUploads->ClearNotice();
  // The row that follows takes the deleted one's place: it is the current row afterwards.
  FSelectAfterRefresh = TRowToSelect{Row, QString(), 0, Edit};
  try {
    FWorkers.Start(NewEditWorker(Edit, QStringLiteral("Track deleted")),
                   [Row](TAPI& AWorker) { AWorker.DeletePlaylistTrack(Row); });
  } catch (...) {
    FPendingEdits.Remove(Edit);
    FSelectAfterRefresh.reset();
    ShowPendingEdits();
    throw;
  }
  ShowPendingEdits();
}

void TMainFrm::btInsertClick() {
  const int Row = FirstSelectedRow();
  if (Row < 0) {
    FBoxes.MyMessageBox(QStringLiteral("Plase select a track in the playlist"), QStringLiteral("Error"),
                        MB_OK | MB_ICONWARNING);
    return;
  }
  // Taken now: a refresh while the dialog is open does not move it.
  const int Position = Row + 2;
  const QString FileName = FChooseFile(this, FHost.VoiceTracksFolder(), FSentTakes);
  if (FileName.isEmpty() || FClosing) {
    return;
  }
  InsertVoiceTrackFile(Position, FileName);
}

void TMainFrm::AskInsertDroppedFile(int ARow, const TSongRef& ASong, const QString& AFileName) {
  if (FClosing) {
    return;
  }
  const QString Question = QStringLiteral("Insert \"%1\" after row %2 \"%3\"?")
                               .arg(QFileInfo(AFileName).fileName(), QString::number(ARow + 1), ASong.Title);
  if (FBoxes.MyMessageBox(Question, QStringLiteral("Insert voice track"), MB_YESNO | MB_ICONQUESTION) ==
          IDYES &&
      !FClosing) {
    // The list may have moved while the box was open: the answer was about the song, not the
    // row number.
    InsertAfterSong(ASong, AFileName);
  }
}

bool TMainFrm::InsertAfterSong(const TSongRef& ASong, const QString& AFileName) {
  const TSongPlace Place = FPlaylist ? FindSong(*FPlaylist, ASong) : TSongPlace();
  const QString Name = QFileInfo(AFileName).fileName();
  QString Refusal;
  switch (Place.Result) {
    case TSongPlace::TResult::Found:
      // The same position as the button's: right after the song.
      return InsertVoiceTrackFile(Place.Row + 2, AFileName);
    case TSongPlace::TResult::Gone:
      Refusal = QStringLiteral("\"%1\" is no longer in the playlist, so \"%2\" was not sent.");
      break;
    case TSongPlace::TResult::Ambiguous:
      Refusal = QStringLiteral(
          "The playlist has changed around \"%1\" and the song meant cannot be told apart any more, so "
          "\"%2\" was not sent.");
      break;
  }
  FBoxes.MyMessageBox(Refusal.arg(ASong.Title, Name), QStringLiteral("Insert voice track"),
                      MB_OK | MB_ICONWARNING);
  return false;
}

bool TMainFrm::InsertVoiceTrackFile(int APosition, const QString& AFileName) {
  const auto Upload = std::make_shared<TUpload>();
  Upload->Name = QFileInfo(AFileName).fileName();
  Upload->Position = APosition;
  Upload->FileSize = QFileInfo(AFileName).size();
  Upload->State = std::make_shared<TUploadState>();
  TAPICallback Callback{FHandOver, [this, Upload](TAPI& ASender) {
                          Guarded([&] {
                            OnInsertResult(ASender, Upload);
                            FCertificateTrust->Consider(ASender);
                          });
                        }};
  auto Worker = std::make_unique<TAPI>(FSettings, std::move(Callback));
  Worker->SetUploadState(Upload->State);
  Worker->SetPinnedKeys(FPinnedKeys);
  try {
    FWorkers.Start(std::move(Worker), [&](TAPI& AWorker) { AWorker.InsertVoiceTrack(APosition, AFileName); });
  } catch (const EFileFailure& E) {
    FBoxes.MyMessageBox(E.Message(), QStringLiteral("Error"), MB_OK | MB_ICONERROR);
    return false;
  }
  // Started. Its result comes through the event loop, so it is followed before it can end.
  FUploads->Add(Upload);
  // However it was sent, a take is not offered again.
  const QString Path = QFileInfo(AFileName).absoluteFilePath();
  FSentTakes.insert(Path);
  FTakeOfferBar->Forget(Path);
  return true;
}

void TMainFrm::OfferTake(const TFinishedTake& ATake) {
  if (FClosing || FSentTakes.contains(QFileInfo(ATake.Path).absoluteFilePath())) {
    return;
  }
  const bool First = FTakeOfferBar->Current() == nullptr;
  FTakeOfferBar->Offer(ATake);
  UpdateOfferedSong();
  const std::optional<TSongRef> Song = OfferedSong();
  Announce(TTakeOfferBar::TakeText(ATake) +
           (Song ? QStringLiteral(". Ctrl+I inserts it after \"%1\".").arg(Song->Title)
                 : QStringLiteral(". Select the song to insert it after, then press Ctrl+I.")) +
           (First ? QString() : QStringLiteral(" It waits after the take offered before.")));
}

std::optional<TSongRef> TMainFrm::OfferedSong() const {
  if (FRecordSong) {
    return FRecordSong;
  }
  const int Row = FirstSelectedRow();
  if (!FPlaylist || Row < 0 || Row >= FPlaylist->Count()) {
    return std::nullopt;
  }
  return RememberSong(*FPlaylist, Row);
}

void TMainFrm::UpdateOfferedSong() {
  const std::optional<TSongRef> Song = OfferedSong();
  FTakeOfferBar->SetSong(Song ? Song->Title : QString());
}

void TMainFrm::ChooseOfferPlace() {
  FRecordSong.reset();
  FPlaylistView->setFocus();
  UpdateOfferedSong();
  FUploads->SetNotice(QStringLiteral("Select the song to insert the take after, then press Ctrl+I."));
}

void TMainFrm::InsertOfferedTake() {
  const TFinishedTake* Take = FTakeOfferBar->Current();
  if (Take == nullptr || FClosing) {
    return;
  }
  const std::optional<TSongRef> Song = OfferedSong();
  if (!Song) {
    FPlaylistView->setFocus();
    FUploads->SetNotice(QStringLiteral("Select the song to insert the take after, then press Ctrl+I."));
    return;
  }
  const QString Path = Take->Path;
  if (InsertAfterSong(*Song, Path)) {
    // The next take goes after the row selected then: the one just inserted, once it shows.
    FRecordSong.reset();
    UpdateOfferedSong();
  }
}

void TMainFrm::OnInsertResult(TAPI& ASender, const std::shared_ptr<TUpload>& AUpload) {
  FUploads->Remove(AUpload);
  if (ASender.Success()) {
    // Also when the cancel came too late: the station has the track. The notice goes when a
    // later list shows another track there, or when it has stood for a while.
    const QString Notice =
        QStringLiteral("\"%1\" inserted at %2").arg(AUpload->Name, QString::number(AUpload->Position));
    FInsertNotice = TInsertNotice{Notice, AUpload->Position - 1, QString(), FRefreshesStarted + 1};
    FInsertNoticeTimer.start();
    // The take becomes the current row once the list shows it.
    FSelectAfterRefresh = TRowToSelect{AUpload->Position - 1, QFileInfo(AUpload->Name).completeBaseName(),
                                       FRefreshesStarted + 1};
    FUploads->SetNotice(Notice);
  } else if (AUpload->State->Cancelled()) {
    FUploads->SetNotice(QStringLiteral("Upload of \"%1\" cancelled").arg(AUpload->Name));
    return;
  } else {
    // Said before the failure's box opens, which holds the callback.
    Announce(ASender.Error());
    FUploads->Update();
  }
  OnTrackEditResult(ASender);
}

void TMainFrm::CancelUpload() {
  const QString TooLate = QStringLiteral("The station already has the whole file; it may insert it.");
  const std::shared_ptr<TUpload> Upload = FUploads->Sending();
  if (!Upload) {
    if (FUploads->AnyDelivered()) {
      FBoxes.MyMessageBox(TooLate, QStringLiteral("Wavenard"), MB_OK | MB_ICONINFORMATION);
    }
    return;
  }
  const int Answer = FBoxes.MyMessageBox(QStringLiteral("Cancel the upload of \"%1\"?").arg(Upload->Name),
                                         QStringLiteral("Wavenard"), MB_YESNO | MB_ICONQUESTION);
  // The transfer ends at its next look at the flag, and its result then says it was
  // cancelled; unless its last bytes went out while the box was open: then nothing is cut and
  // the station's answer tells whether it took the track.
  if (Answer == IDYES && !Upload->State->Cancel()) {
    FBoxes.MyMessageBox(TooLate, QStringLiteral("Wavenard"), MB_OK | MB_ICONINFORMATION);
  }
}

bool TMainFrm::Uploading() const {
  return !FUploads->Empty();
}

void TMainFrm::ShowStatus(const QString& AText, bool ASpoken) {
  FStatusPanel->ShowStatus(AText, ASpoken);
}

void TMainFrm::btRecordClick() {
  // The take will go after the song selected now, wherever the list has moved it by then.
  const int Row = FirstSelectedRow();
  FRecordSong.reset();
  if (FPlaylist && Row >= 0 && Row < FPlaylist->Count()) {
    FRecordSong = RememberSong(*FPlaylist, Row);
  }
  UpdateOfferedSong();
  // The recorder's absence is not an error the user needs to hear about.
  FStartProgram(FApplicationFolder + RecorderProgram, {RecorderSwitch});
}

void TMainFrm::btSettingsClick() {
  FHost.ShowSettings(this);
}

}  // namespace wavenard
