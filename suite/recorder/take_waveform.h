#pragma once

#include <QWidget>
#include <vector>

namespace wavenard {

struct TTakeAudio;

// The waveform of a take under review, with the part that will be kept marked and the playing
// position as a cursor.
class TTakeWaveform final : public QWidget {
  Q_OBJECT

 public:
  explicit TTakeWaveform(QWidget* AParent = nullptr);

  // AAudio must live until the next call; none clears the view.
  void ShowTake(const TTakeAudio* AAudio);
  void ShowKept(qint64 AFirstFrame, qint64 AEndFrame);
  // -1: no cursor.
  void ShowCursor(qint64 AFrame);

  qint64 KeptFirst() const { return FKeptFirst; }
  qint64 KeptEnd() const { return FKeptEnd; }
  qint64 Cursor() const { return FCursor; }

  QSize sizeHint() const override { return {400, 80}; }

 protected:
  void paintEvent(QPaintEvent* AEvent) override;
  void resizeEvent(QResizeEvent* AEvent) override;

 private:
  void Summarise();
  int XOf(qint64 AFrame) const;

  const TTakeAudio* FAudio = nullptr;
  // The highest level in each pixel column, 0 to 1.
  std::vector<float> FColumns;
  qint64 FKeptFirst = 0;
  qint64 FKeptEnd = 0;
  qint64 FCursor = -1;
};

}  // namespace wavenard
