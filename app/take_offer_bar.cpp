#include "app/take_offer_bar.h"

#include <QApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

namespace wavenard {

namespace {

constexpr int MaxSongWidth = 260;

}  // namespace

TTakeOfferBar::TTakeOfferBar(QWidget* AParent) : QFrame(AParent) {
  setObjectName(QStringLiteral("TakeOfferBar"));
  setAccessibleName(QStringLiteral("New take"));
  setFrameShape(QFrame::StyledPanel);
  auto* Layout = new QHBoxLayout(this);
  Layout->setContentsMargins(6, 3, 6, 3);
  FText = new QLabel(this);
  FText->setObjectName(QStringLiteral("lbNewTake"));
  FText->setTextFormat(Qt::PlainText);
  Layout->addWidget(FText, 1);
  const auto AddButton = [&](QPushButton*& AButton, const char* AName, const QString& AText) {
    AButton = new QPushButton(AText, this);
    AButton->setObjectName(QString::fromLatin1(AName));
    AButton->setFocusPolicy(Qt::StrongFocus);
    AButton->setAutoDefault(false);
    Layout->addWidget(AButton);
  };
  AddButton(FInsert, "btInsertTake", QStringLiteral("Insert after\u2026"));
  FInsert->setAccessibleName(QStringLiteral("Insert after"));
  AddButton(FChoose, "btChoosePlace", QStringLiteral("Choose another place\u2026"));
  AddButton(FDismiss, "btDismissTake", QStringLiteral("Dismiss"));
  FInsert->setToolTip(QStringLiteral("Insert the new take (Ctrl+I)"));
  FChoose->setAccessibleName(QStringLiteral("Choose another place"));
  connect(FInsert, &QPushButton::clicked, this, &TTakeOfferBar::InsertClicked);
  connect(FChoose, &QPushButton::clicked, this, &TTakeOfferBar::ChoosePlaceClicked);
  connect(FDismiss, &QPushButton::clicked, this, [this] {
    if (!FTakes.empty()) {
      Forget(FTakes.front().Path);
    }
  });
  UpdateBar();
}

QString TTakeOfferBar::TakeText(const TFinishedTake& ATake) {
  const qint64 Seconds = (ATake.DurationMs + 500) / 1000;
  const QString Duration =
      Seconds >= 3600 ? QStringLiteral("%1:%2:%3")
                            .arg(Seconds / 3600)
                            .arg(Seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                            .arg(Seconds % 60, 2, 10, QLatin1Char('0'))
                      : QStringLiteral("%1:%2").arg(Seconds / 60).arg(Seconds % 60, 2, 10, QLatin1Char('0'));
  return QStringLiteral("New take \"%1\" (%2)").arg(QFileInfo(ATake.Path).fileName(), Duration);
}

void TTakeOfferBar::Offer(const TFinishedTake& ATake) {
  if (std::none_of(FTakes.begin(), FTakes.end(),
                   [&](const TFinishedTake& ATaken) { return ATaken.Path == ATake.Path; })) {
    FTakes.push_back(ATake);
  }
  UpdateBar();
}

void TTakeOfferBar::Forget(const QString& APath) {
  std::erase_if(FTakes, [&](const TFinishedTake& ATake) { return ATake.Path == APath; });
  UpdateBar();
}

void TTakeOfferBar::SetSong(const QString& ATitle) {
  FSong = ATitle;
  UpdateBar();
}

void TTakeOfferBar::UpdateBar() {
  if (FTakes.empty()) {
    const bool HadFocus = isAncestorOf(QApplication::focusWidget());
    hide();
    if (HadFocus) {
      emit FocusLeft();
    }
    return;
  }
  QString Text = TakeText(FTakes.front());
  if (FTakes.size() > 1) {
    Text += QStringLiteral(", %1 more waiting").arg(FTakes.size() - 1);
  }
  if (FSong.isEmpty()) {
    Text += QStringLiteral(". Select the song to insert it after.");
  }
  FText->setText(Text);
  FInsert->setEnabled(!FSong.isEmpty());
  // A long title is cut on the button; its name for assistive technology keeps all of it.
  const QString Song = fontMetrics().elidedText(FSong, Qt::ElideRight, MaxSongWidth);
  FInsert->setText(FSong.isEmpty() ? QStringLiteral("Insert after\u2026")
                                   : QStringLiteral("Insert after \"%1\"").arg(Song));
  FInsert->setAccessibleName(FSong.isEmpty() ? QStringLiteral("Insert after")
                                             : QStringLiteral("Insert after \"%1\"").arg(FSong));
  show();
}

}  // namespace wavenard
