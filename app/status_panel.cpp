#include "app/status_panel.h"

#include <QAccessibleWidget>
#include <QEvent>
#include <QPointer>
#include <QRegularExpression>
#include <algorithm>
#include <utility>

#include "support/message_box.h"
#include "support/widgets/notification_label.h"

namespace wavenard {

namespace {

// The panel as assistive technology sees it: its name is the status line, and its text is
// the last thing said, so that each change reaches a screen reader as a text event that
// carries the words themselves.
class TStatusPanelAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
 public:
  explicit TStatusPanelAccessible(TStatusPanel* APanel)
      : QAccessibleWidget(APanel, QAccessible::StaticText), FPanel(APanel) {}

  void* interface_cast(QAccessible::InterfaceType AType) override {
    if (AType == QAccessible::TextInterface)
      return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(AType);
  }

  using QAccessibleWidget::text;
  QString text(int AStart, int AEnd) const override { return Said().mid(AStart, AEnd - AStart); }
  int characterCount() const override { return static_cast<int>(Said().size()); }
  void selection(int, int* AStart, int* AEnd) const override { *AStart = *AEnd = 0; }
  int selectionCount() const override { return 0; }
  void addSelection(int, int) override {}
  void removeSelection(int) override {}
  void setSelection(int, int, int) override {}
  int cursorPosition() const override { return 0; }
  void setCursorPosition(int) override {}
  QRect characterRect(int) const override { return {}; }
  int offsetAtPoint(const QPoint&) const override { return -1; }
  void scrollToSubstring(int, int) override {}
  QString attributes(int AOffset, int* AStart, int* AEnd) const override {
    *AStart = *AEnd = AOffset;
    return {};
  }

 private:
  QString Said() const { return FPanel ? FPanel->Said() : QString(); }

  QPointer<TStatusPanel> FPanel;
};

QAccessibleInterface* StatusPanelAccessible(const QString& AClassName, QObject* AObject) {
  if (AClassName == QLatin1String(TStatusPanel::staticMetaObject.className()))
    return new TStatusPanelAccessible(static_cast<TStatusPanel*>(AObject));
  return nullptr;
}

}  // namespace

TStatusPanel::TStatusPanel(QWidget* AParent) : QLabel(AParent) {
  static const bool Installed = [] {
    QAccessible::installFactory(StatusPanelAccessible);
    return true;
  }();
  Q_UNUSED(Installed);
  setObjectName(QStringLiteral("StatusPanel"));
  setTextFormat(Qt::PlainText);
  setWordWrap(false);
  // A long text never widens the window: the panel takes the width the bar gives it.
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  setFixedHeight(fontMetrics().height());
  FSpoken = new TNotificationLabel(this, TNotificationLabel::TQueueing::Every);
  FSpoken->setObjectName(QStringLiteral("StatusSpoken"));
  FSpoken->setGeometry(0, 0, 0, 0);
  connect(FSpoken, &TNotificationLabel::Quiet, this, &TStatusPanel::Quiet);
}

void TStatusPanel::HoldSpeechFor(const QString& AText) {
  FSpoken->Hold(TNotificationLabel::HearingTime(AText));
}

bool TStatusPanel::Speaking() const {
  return FSpoken->Speaking();
}

void TStatusPanel::ShowStatus(const QString& AText, bool ASpoken) {
  FStatus = AText.left(MaxTextLength);
  const qsizetype LineEnd = FStatus.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
  FFirstLine = LineEnd < 0 ? FStatus : FStatus.left(LineEnd);
  // Escaped inside a paragraph: a tool tip takes anything that looks like markup as rich text.
  setToolTip(
      FStatus.isEmpty()
          ? QString()
          : QStringLiteral("<p style='white-space:pre-wrap'>%1</p>").arg(BoxText(FStatus).toHtmlEscaped()));
  // The whole line for assistive technology, whatever the panel has room for; a failure
  // repeated on every tick is said once.
  if (FFirstLine != accessibleName()) {
    setAccessibleName(FFirstLine);
    if (ASpoken) {
      Say(FFirstLine);
    }
  }
  UpdateLine();
}

void TStatusPanel::Say(const QString& AText) {
  const QString Before = std::exchange(FSaid, AText);
  QAccessibleTextUpdateEvent Event(this, 0, Before, FSaid);
  QAccessible::updateAccessibility(&Event);
  FSpoken->setText(AText);
}

void TStatusPanel::Announce(const QString& AText) {
  const QString Text = BoxText(AText);
  setAccessibleDescription(Text);
  // Said even when the words are the same as last time: the second edit also wants hearing.
  Say(Text);
  emit Announced(Text);
}

void TStatusPanel::resizeEvent(QResizeEvent* AEvent) {
  QLabel::resizeEvent(AEvent);
  UpdateLine();
}

void TStatusPanel::changeEvent(QEvent* AEvent) {
  QLabel::changeEvent(AEvent);
  if (AEvent->type() == QEvent::FontChange) {
    setFixedHeight(fontMetrics().height());
    UpdateLine();
  }
}

void TStatusPanel::UpdateLine() {
  setText(fontMetrics().elidedText(FFirstLine, Qt::ElideRight, std::max(contentsRect().width(), 0)));
}

}  // namespace wavenard
