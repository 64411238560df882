#include "suite/recorder/level_meter.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace wavenard {

namespace {

// The bar falls this fast, so a peak is seen without the bar flickering.
constexpr double FallPerSecond = 24.0;
constexpr int HoldMs = 1500;
// A sample this close to full scale was most likely cut off.
constexpr double ClipLevel = -0.1;
// How often a screen reader is given a new level at most.
constexpr int SpeakIntervalMs = 500;
constexpr double Marks[] = {-60, -48, -36, -24, -18, -12, -6, -3, 0};
constexpr int BarHeight = 14;
constexpr int LightWidth = 18;

}  // namespace

TLevelMeter::TLevelMeter(QWidget* AParent) : QWidget(AParent) {
  setObjectName(QStringLiteral("LevelMeter"));
  setFocusPolicy(Qt::NoFocus);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setAccessibleName(LevelText());
  setAccessibleDescription(QStringLiteral("Input level in decibels below full scale"));
  FLastFall.start();
}

QString TLevelMeter::LevelText() const {
  if (FLevel <= Floor) {
    return QStringLiteral("Level below \u221260 dB");
  }
  const int Rounded = int(std::lround(FLevel));
  return Rounded < 0 ? QStringLiteral("Level \u2212%1 dB").arg(-Rounded) : QStringLiteral("Level 0 dB");
}

void TLevelMeter::ShowPeak(double APeak) {
  const double Decibels = APeak > 0 ? std::max(20 * std::log10(APeak), Floor) : Floor;
  const double Fallen = FLevel - FallPerSecond * double(FLastFall.restart()) / 1000;
  FLevel = std::max(Decibels, std::max(Fallen, Floor));
  if (Decibels >= FHeld || !FHeldSince.isValid() || FHeldSince.elapsed() > HoldMs) {
    FHeld = Decibels;
    FHeldSince.start();
  }
  if (Decibels >= ClipLevel) {
    FClipped = true;
  }
  const QString Text = LevelText();
  if (Text != accessibleName() && (!FSpokenSince.isValid() || FSpokenSince.elapsed() >= SpeakIntervalMs)) {
    setAccessibleName(Text);
    FSpokenSince.start();
  }
  update();
}

void TLevelMeter::Reset(bool AClip) {
  FLevel = Floor;
  FHeld = Floor;
  FHeldSince.invalidate();
  if (AClip) {
    FClipped = false;
  }
  setAccessibleName(LevelText());
  update();
}

QSize TLevelMeter::sizeHint() const {
  return {400, BarHeight + fontMetrics().height() + 6};
}

QSize TLevelMeter::minimumSizeHint() const {
  return {200, sizeHint().height()};
}

int TLevelMeter::XOf(double ADecibels, const QRect& ABar) const {
  const double Share = (std::clamp(ADecibels, Floor, 0.0) - Floor) / -Floor;
  return ABar.left() + int(std::lround(Share * (ABar.width() - 1)));
}

void TLevelMeter::paintEvent(QPaintEvent*) {
  QPainter Painter(this);
  const QRect Bar(0, 0, width() - LightWidth - 4, BarHeight);
  const QRect Light(width() - LightWidth, 0, LightWidth, BarHeight);
  Painter.fillRect(Bar, palette().color(QPalette::Base).darker(115));
  // Green up to −18, amber to −6, red above: where speech should sit, and where it gets hot.
  const struct {
    double From, To;
    QColor Colour;
  } Zones[] = {{Floor, -18, QColor(0x2e, 0x9d, 0x3a)},
               {-18, -6, QColor(0xe0, 0xa8, 0x00)},
               {-6, 0, QColor(0xd0, 0x20, 0x20)}};
  for (const auto& Zone : Zones) {
    if (FLevel > Zone.From) {
      const int Left = XOf(Zone.From, Bar);
      const int Right = XOf(std::min(FLevel, Zone.To), Bar);
      Painter.fillRect(QRect(Left, Bar.top(), Right - Left + 1, Bar.height()), Zone.Colour);
    }
  }
  if (FHeld > Floor) {
    Painter.fillRect(QRect(XOf(FHeld, Bar) - 1, Bar.top(), 3, Bar.height()),
                     palette().color(QPalette::WindowText));
  }
  Painter.fillRect(Light, FClipped ? QColor(0xff, 0x10, 0x10) : palette().color(QPalette::Base).darker(130));
  Painter.setPen(palette().color(QPalette::WindowText));
  Painter.drawText(Light, Qt::AlignCenter, QStringLiteral("C"));
  const int TextTop = Bar.bottom() + 2;
  for (const double Mark : Marks) {
    const int X = XOf(Mark, Bar);
    Painter.drawLine(X, Bar.bottom() - 3, X, Bar.bottom());
    const QString Label = Mark < 0 ? QStringLiteral("\u2212%1").arg(-Mark) : QStringLiteral("0");
    const int LabelWidth = fontMetrics().horizontalAdvance(Label);
    const int Left = std::clamp(X - LabelWidth / 2, 0, Bar.right() - LabelWidth);
    Painter.drawText(Left, TextTop + fontMetrics().ascent(), Label);
  }
}

}  // namespace wavenard
