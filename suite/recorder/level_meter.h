#pragma once

#include <QElapsedTimer>
#include <QWidget>

namespace wavenard {

// A peak meter in dBFS from −60 to 0 with marks, a held peak and a clip light that stays lit
// until it is reset (at the next take). Screen readers read it as "Level −12 dB".
class TLevelMeter final : public QWidget {
  Q_OBJECT

 public:
  static constexpr double Floor = -60.0;

  explicit TLevelMeter(QWidget* AParent = nullptr);

  // The highest sample level (0 to 1) since the last call; called every few tens of milliseconds.
  void ShowPeak(double APeak);
  // Back to silence; the clip light goes out when AClip.
  void Reset(bool AClip);

  double Level() const { return FLevel; }  // dBFS, as shown
  double HeldPeak() const { return FHeld; }
  bool Clipped() const { return FClipped; }
  // "Level −12 dB"
  QString LevelText() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* AEvent) override;

 private:
  int XOf(double ADecibels, const QRect& ABar) const;

  double FLevel = Floor;
  double FHeld = Floor;
  bool FClipped = false;
  QElapsedTimer FHeldSince;
  QElapsedTimer FLastFall;
  QElapsedTimer FSpokenSince;
};

}  // namespace wavenard
