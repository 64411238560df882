#include "app/main_form.h"

#include "app/window_font.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QMimeData>
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
#include "app/playlist_view_setup.h"
#include "app/status_panel.h"
#include "app/virtual_tree_playlist.h"
#include "app/window_state_file.h"
#include "config/connection_settings.h"
#include "config/failures.h"
#include "remote/request_worker.h"
#include "support/dpi.h"
#include "support/failure.h"
#include "support/hand_over.h"
#include "support/message_box.h"
#include "support/process.h"

namespace wavenard {

namespace {

constexpr QSize ClientSize(624, 435);
constexpr QSize ButtonSize(40, 38);
constexpr QSize IconSize(30, 30);
constexpr int ButtonMargin = 3;
constexpr int ListMargin = 8;
constexpr int RowPadding = 8;
// How often the status panel follows an upload's progress.
constexpr int ProgressInterval = 250;
const QString EmptyPlaylistText = QStringLiteral("The station sent an empty playlist");

#ifdef Q_OS_WIN
const QString RecorderProgram = QStringLiteral("pellorin.exe");
#else
const QString RecorderProgram = QStringLiteral("pellorin");
#endif
const QString RecorderSwitch = QStringLiteral("-wavenard");

// Runs the request operation AStart on a new worker. A worker the system refused to start is
// freed here and the refusal passed on; a started one frees itself.
void StartWorker(TAPI* AWorker, const std::function<void(TAPI&)>& AStart) {
  std::unique_ptr<TAPI> Worker(AWorker);
  AStart(*Worker);
  Worker.release();
}

}  // namespace

QString ChooseVoiceTrackFile(QWidget* AParent, const QString& AInitialDir) {
  QFileDialog OpenDialog1(AParent);
  OpenDialog1.setObjectName(QStringLiteral("OpenDialog1"));
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
                   TDpiCache& ADpi, QString AApplicationFolder, TFileChooser AChooseFile,
                   TProgramStarter AStartProgram, QWidget* AParent)
    : QMainWindow(AParent),
      FSettings(std::move(ASettings)),
      FHost(AHost),
      FBoxes(ABoxes),
      FDpi(ADpi),
      FApplicationFolder(std::move(AApplicationFolder)),
      FChooseFile(std::move(AChooseFile)),
      FStartProgram(std::move(AStartProgram)),
      FHandOver(THandOver::Create(this)),
      FPinnedKeys(FHost.PinnedKeys()),
      FCertificateTrust(std::make_unique<TCertificateTrust>(FBoxes, FPinnedKeys)),
      FTimer(this),
      FProgressTimer(this) {
  setObjectName(QStringLiteral("MainFrm"));
  setWindowTitle(QStringLiteral("Wavenard"));
  setWindowIcon(QIcon(QStringLiteral(":/icons/wavenard.svg")));
  setFont(WindowFont());

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

  FProgressTimer.setObjectName(QStringLiteral("tmrUploadProgress"));
  FProgressTimer.setInterval(ProgressInterval);
  connect(&FProgressTimer, &QTimer::timeout, this, [this] { UpdateStatusPanel(); });
  // Only while an upload runs does Esc mean anything here.
  FCancelUploadAction = new QAction(QStringLiteral("Cancel upload"), this);
  FCancelUploadAction->setObjectName(QStringLiteral("actCancelUpload"));
  FCancelUploadAction->setShortcut(Qt::Key_Escape);
  FCancelUploadAction->setShortcutContext(Qt::WindowShortcut);
  FCancelUploadAction->setEnabled(false);
  connect(FCancelUploadAction, &QAction::triggered, this, [this] { Guarded([this] { CancelUpload(); }); });
  addAction(FCancelUploadAction);
}

TMainFrm::~TMainFrm() {
  BeginClosing();
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
  // The handlers answer through their reference parameters and keep their failures to
  // themselves, as Qt lets no exception through a signal.
  connect(&FModel, &TPlaylistViewModel::GetText, this, &TMainFrm::lvPlaylistGetText);
  connect(FPlaylistView, &TZnVirtualTree::DragOver, this, [this](const QDropEvent& AEvent, bool& AAccept) {
    Guarded([&] { lvPlaylistDragOver(AEvent, AAccept); });
  });
  connect(FPlaylistView, &TZnVirtualTree::DragDrop, this,
          [this](const QDropEvent& AEvent) { Guarded([&] { lvPlaylistDragDrop(AEvent); }); });
  connect(FPlaylistView, &TZnVirtualTree::DragAction, this, &TMainFrm::lvPlaylistDragAction);
  connect(FPlaylistView, &TZnVirtualTree::Failed, this,
          [this](const std::exception& AError) { FHost.ReportError(AError); });
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
  try {
    AAction();
  } catch (const std::exception& E) {
    FHost.ReportError(E);
  }
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
  FProgressTimer.stop();
  // A worker waiting to deliver is released, and a transfer in flight ends at its next check.
  FHandOver->Close();
}

void TMainFrm::tmrMainTimer() {
  RefreshPlaylist();
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
  try {
    StartWorker(NewWorker(&TMainFrm::OnPlaylistResult), [](TAPI& AWorker) { AWorker.GetPlaylistContents(); });
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

TAPI* TMainFrm::NewWorker(void (TMainFrm::*AMethod)(TAPI&), const QString& ADone) {
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
  auto* Worker = new TAPI(FSettings, std::move(Callback));
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
    if (Rebuilt && Focused >= 0) {
      FKeyboardRow->Rebuilt(Focused);
    }
    // An answer without rows is told, so that an emptied list is never a silent one.
    SetPlaylistStatus(FPlaylist->Count() == 0 ? EmptyPlaylistText : QString());
    FLiveIndicator->RefreshSucceeded(QTime::currentTime());
  } else {
    SetPlaylistStatus(ASender.Error());
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

void TMainFrm::lvPlaylistGetText(int ARow, int AColumn, QString& ACellText) const {
  // Rows bind to the list by index; a row without an item shows nothing.
  if (!FPlaylist || ARow < 0 || ARow >= FPlaylist->Count()) {
    return;
  }
  switch (AColumn) {
    case 0:
      ACellText = QString::number(ARow + 1);
      break;
    case 1:
      ACellText = FPlaylist->Items(ARow).Title;
      break;
    case 2:
      ACellText = FPlaylist->Items(ARow).Duration;
      break;
    default:
      break;
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

// A row of this list moves; one FLAC file from a file manager is inserted after the row it is
// dropped on. Anything else dragged in from elsewhere must never touch the station's playlist.
void TMainFrm::lvPlaylistDragOver(const QDropEvent& AEvent, bool& AAccept) {
  AAccept = AcceptsDrop(AEvent);
}

bool TMainFrm::AcceptsDrop(const QDropEvent& AEvent) {
  if (FModel.IsOwnDrag(AEvent.mimeData())) {
    return SelectedCount() == 1;
  }
  QString Reason;
  const bool IsVoiceTrack = !DroppedVoiceTrack(AEvent, Reason).isEmpty();
  if (!Reason.isEmpty()) {
    SetStatusNotice(Reason);
  }
  const int Row = FPlaylistView->indexAt(AEvent.position().toPoint()).row();
  return IsVoiceTrack && !FClosing && FPlaylist && Row >= 0 && Row < FPlaylist->Count();
}

// A dropped file is copied, never moved: the file manager keeps the presenter's file.
void TMainFrm::lvPlaylistDragAction(const QDropEvent& AEvent, Qt::DropAction& AAction) const {
  AAction = FModel.IsOwnDrag(AEvent.mimeData()) ? Qt::MoveAction : Qt::CopyAction;
}

QString TMainFrm::DroppedVoiceTrack(const QDropEvent& AEvent, QString& AReason) const {
  const QMimeData* Data = AEvent.mimeData();
  if (Data == nullptr || !Data->hasUrls()) {
    return {};
  }
  const QList<QUrl> Urls = Data->urls();
  if (Urls.size() > 1) {
    AReason = QStringLiteral("Only one voice track can be dropped at a time.");
    return {};
  }
  const QString Path = Urls.constFirst().toLocalFile();
  if (!Urls.constFirst().isLocalFile() || !Path.endsWith(QLatin1String(".flac"), Qt::CaseInsensitive)) {
    return {};
  }
  return Path;
}

void TMainFrm::lvPlaylistDragDrop(const QDropEvent& AEvent) {
  if (!AcceptsDrop(AEvent) || !FPlaylist) {
    return;
  }
  const int Target = FPlaylistView->indexAt(AEvent.position().toPoint()).row();
  if (!FModel.IsOwnDrag(AEvent.mimeData())) {
    QString Reason;
    const QString FileName = DroppedVoiceTrack(AEvent, Reason);
    const QString Title = FPlaylist->Items(Target).Title;
    // Asked once the drop has ended, so that the file manager is not kept waiting on the box.
    QTimer::singleShot(0, this, [this, Target, Title, FileName] {
      Guarded([&] { AskInsertDroppedFile(Target, Title, FileName); });
    });
    return;
  }
  MoveRow(FirstSelectedRow(), Target);
}

void TMainFrm::MoveRow(int ASource, int ATarget) {
  if (!FPlaylist || ASource < 0 || ATarget < 0 || ASource >= FPlaylist->Count() ||
      ATarget >= FPlaylist->Count()) {
    return;
  }
  // The two rows show each other's track at once; the next refresh shows the station's order.
  FPlaylist->Exchange(ASource, ATarget);
  FModel.ExchangeMarks(ASource, ATarget);
  FModel.Rebind(FPlaylist->Count());
  StartWorker(NewWorker(&TMainFrm::OnTrackEditResult, QStringLiteral("Track moved")),
              [&](TAPI& AWorker) { AWorker.MovePlaylistTrack(ASource, ATarget); });
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
  MoveRow(Source, Target);
  const QModelIndex Row = FModel.index(Target, 0);
  FPlaylistView->selectionModel()->setCurrentIndex(
      Row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  FPlaylistView->ShowRow(Row);
  // The row is read where it now stands before the move's outcome is said.
  FKeyboardRow->Moved(Target);
}

void TMainFrm::btDeleteClick() {
  const int Row = FirstSelectedRow();
  if (Row < 0) {
    return;
  }
  StartWorker(NewWorker(&TMainFrm::OnTrackEditResult, QStringLiteral("Track deleted")),
              [Row](TAPI& AWorker) { AWorker.DeletePlaylistTrack(Row); });
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
  const QString FileName = FChooseFile(this, FHost.VoiceTracksFolder());
  if (FileName.isEmpty() || FClosing) {
    return;
  }
  InsertVoiceTrackFile(Position, FileName);
}

void TMainFrm::AskInsertDroppedFile(int ARow, const QString& ATitle, const QString& AFileName) {
  if (FClosing) {
    return;
  }
  const QString Question = QStringLiteral("Insert \"%1\" after row %2 \"%3\"?")
                               .arg(QFileInfo(AFileName).fileName(), QString::number(ARow + 1), ATitle);
  if (FBoxes.MyMessageBox(Question, QStringLiteral("Insert voice track"), MB_YESNO | MB_ICONQUESTION) ==
          IDYES &&
      !FClosing) {
    // The same position as the button's: right after the row.
    InsertVoiceTrackFile(ARow + 2, AFileName);
  }
}

void TMainFrm::InsertVoiceTrackFile(int APosition, const QString& AFileName) {
  auto Upload = std::make_shared<TUpload>();
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
  std::unique_ptr<TAPI> Worker(new TAPI(FSettings, std::move(Callback)));
  Worker->SetUploadState(Upload->State);
  Worker->SetPinnedKeys(FPinnedKeys);
  try {
    Worker->InsertVoiceTrack(APosition, AFileName);
  } catch (const EFileFailure& E) {
    FBoxes.MyMessageBox(E.Message(), QStringLiteral("Error"), MB_OK | MB_ICONERROR);
    return;
  }
  // Started: it frees itself from now on. Its result comes through the event loop, so it is
  // followed before it can end.
  Worker.release();
  FUploads.push_back(Upload);
  FCancelUploadAction->setEnabled(true);
  FProgressTimer.start();
  UpdateStatusPanel();
}

void TMainFrm::OnInsertResult(TAPI& ASender, const std::shared_ptr<TUpload>& AUpload) {
  FUploads.erase(std::remove(FUploads.begin(), FUploads.end(), AUpload), FUploads.end());
  if (FUploads.empty()) {
    FProgressTimer.stop();
    FCancelUploadAction->setEnabled(false);
  }
  if (ASender.Success()) {
    // Also when the cancel came too late: the station has the track.
    SetStatusNotice(
        QStringLiteral("\"%1\" inserted at %2").arg(AUpload->Name, QString::number(AUpload->Position)));
  } else if (AUpload->State->Cancelled) {
    SetStatusNotice(QStringLiteral("Upload of \"%1\" cancelled").arg(AUpload->Name));
    return;
  } else {
    // Said before the failure's box opens, which holds the callback.
    Announce(ASender.Error());
    UpdateStatusPanel();
  }
  OnTrackEditResult(ASender);
}

void TMainFrm::CancelUpload() {
  const auto Found =
      std::find_if(FUploads.begin(), FUploads.end(),
                   [](const std::shared_ptr<TUpload>& AUpload) { return !AUpload->State->Cancelled; });
  if (Found == FUploads.end()) {
    return;
  }
  const std::shared_ptr<TUpload> Upload = *Found;
  const int Answer = FBoxes.MyMessageBox(QStringLiteral("Cancel the upload of \"%1\"?").arg(Upload->Name),
                                         QStringLiteral("Wavenard"), MB_YESNO | MB_ICONQUESTION);
  // The transfer ends at its next look at the flag; its result then says it was cancelled,
  // unless the answer came first (also while the box was open).
  if (Answer == IDYES) {
    Upload->State->Cancelled = true;
  }
}

void TMainFrm::SetPlaylistStatus(const QString& AText) {
  if (AText != FPlaylistStatus) {
    FPlaylistStatus = AText;
    FStatusNotice.clear();
  }
  UpdateStatusPanel();
}

void TMainFrm::SetStatusNotice(const QString& AText) {
  FStatusNotice = AText;
  UpdateStatusPanel();
}

void TMainFrm::UpdateStatusPanel() {
  const auto Shown =
      std::find_if(FUploads.begin(), FUploads.end(),
                   [](const std::shared_ptr<TUpload>& AUpload) { return !AUpload->State->Cancelled; });
  if (Shown != FUploads.end()) {
    // The upload is said when it starts; its figures, a few times a second, are only shown.
    ShowStatus(UploadProgressText(**Shown), !std::exchange((*Shown)->Said, true));
  } else {
    ShowStatus(FStatusNotice.isEmpty() ? FPlaylistStatus : FStatusNotice);
  }
}

QString TMainFrm::UploadProgressText(const TUpload& AUpload) const {
  const qint64 Total = AUpload.State->Total;
  const qint64 Sent = std::clamp<qint64>(AUpload.State->Sent, 0, Total);
  // The body is the file in Base64 and then some: what it has carried is told in file bytes.
  const double Share = Total > 0 ? static_cast<double>(Sent) / static_cast<double>(Total) : 0.0;
  const auto Megabytes = [](double ABytes) { return QString::number(ABytes / 1e6, 'f', 1); };
  return QStringLiteral("Uploading \"%1\": %2 % (%3 of %4 MB)")
      .arg(AUpload.Name, QString::number(Total > 0 ? Sent * 100 / Total : 0),
           Megabytes(Share * static_cast<double>(AUpload.FileSize)),
           Megabytes(static_cast<double>(AUpload.FileSize)));
}

void TMainFrm::ShowStatus(const QString& AText, bool ASpoken) {
  FStatusPanel->ShowStatus(AText, ASpoken);
}

void TMainFrm::btRecordClick() {
  // The recorder's absence is not an error the user needs to hear about.
  FStartProgram(FApplicationFolder + RecorderProgram, {RecorderSwitch});
}

void TMainFrm::btSettingsClick() {
  FHost.ShowSettings(this);
}

}  // namespace wavenard
