#include "app/status_panel.h"

#include <QEvent>
#include <QRegularExpression>
#include <algorithm>

#include "support/message_box.h"

namespace wavenard {

TStatusPanel::TStatusPanel(QWidget* AParent) : QLabel(AParent) {
  setObjectName(QStringLiteral("StatusPanel"));
  setTextFormat(Qt::PlainText);
  setWordWrap(false);
  // A long text never widens the window: the panel takes the width the bar gives it.
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  setFixedHeight(fontMetrics().height());
}

void TStatusPanel::ShowStatus(const QString& AText) {
  FStatus = AText.left(MaxTextLength);
  const qsizetype LineEnd = FStatus.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
  FFirstLine = LineEnd < 0 ? FStatus : FStatus.left(LineEnd);
  // Escaped inside a paragraph: a tool tip takes anything that looks like markup as rich text.
  setToolTip(
      FStatus.isEmpty()
          ? QString()
          : QStringLiteral("<p style='white-space:pre-wrap'>%1</p>").arg(BoxText(FStatus).toHtmlEscaped()));
  // The whole line for assistive technology, whatever the panel has room for.
  setAccessibleName(FFirstLine);
  UpdateLine();
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
