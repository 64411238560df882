#pragma once

#include <QLabel>

namespace wavenard {

class TNotificationLabel;

// The status bar's one text panel. Whatever it is given (often the station's own answer) is
// shown as plain text on one line: the first line of the text, cut with an ellipsis to the
// panel's width; the whole text, capped, is its tool tip. The panel never changes its height.
class TStatusPanel final : public QLabel {
  Q_OBJECT

 public:
  // The most of a text that the panel keeps.
  static constexpr int MaxTextLength = 4096;

  explicit TStatusPanel(QWidget* AParent = nullptr);
  Q_DISABLE_COPY_MOVE(TStatusPanel)

  // Shows AText; an empty text empties the panel. A spoken text whose line differs from the
  // last one is also said to assistive technology.
  void ShowStatus(const QString& AText, bool ASpoken = true);
  // Tells assistive technology AText (the outcome of an edit, what a refresh changed), as the
  // panel's description and its accessible text, without showing it. A screen reader speaks it.
  void Announce(const QString& AText);
  // The text last given, capped at MaxTextLength.
  QString Status() const { return FStatus; }
  // The last status line or announcement, the panel's text for assistive technology.
  QString Said() const { return FSaid; }
  // Keeps what is said next from cutting short a screen reader that reads AText meanwhile (a
  // row the keyboard reached).
  void HoldSpeechFor(const QString& AText);
  // A screen reader is still saying what the panel gave it.
  bool Speaking() const;

 signals:
  // Each text handed to Announce.
  void Announced(const QString& AText);
  // All that the panel gave a screen reader has been said.
  void Quiet();

 protected:
  void resizeEvent(QResizeEvent* AEvent) override;
  void changeEvent(QEvent* AEvent) override;

 private:
  void UpdateLine();
  // Makes AText the panel's accessible text and tells assistive technology.
  void Say(const QString& AText);

  QString FStatus;
  QString FFirstLine;
  QString FSaid;
  // What a screen reader speaks: a label of no size, so nothing of it is seen.
  TNotificationLabel* FSpoken = nullptr;
};

}  // namespace wavenard
