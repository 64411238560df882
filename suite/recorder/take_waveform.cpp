#include "suite/recorder/take_waveform.h"

#include <QPainter>
#include <algorithm>
#include <cstdlib>

#include "suite/recorder/take_audio.h"

namespace wavenard {

TTakeWaveform::TTakeWaveform(QWidget* AParent) : QWidget(AParent) {
  setObjectName(QStringLiteral("TakeWaveform"));
  setAccessibleName(QStringLiteral("Waveform of the take"));
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setMinimumHeight(60);
}

void TTakeWaveform::ShowTake(const TTakeAudio* AAudio) {
  FAudio = AAudio;
  FCursor = -1;
  FKeptFirst = 0;
  FKeptEnd = AAudio != nullptr ? AAudio->Frames() : 0;
  Summarise();
  update();
}

void TTakeWaveform::ShowKept(qint64 AFirstFrame, qint64 AEndFrame) {
  FKeptFirst = AFirstFrame;
  FKeptEnd = AEndFrame;
  update();
}

void TTakeWaveform::ShowCursor(qint64 AFrame) {
  FCursor = AFrame;
  update();
}

void TTakeWaveform::resizeEvent(QResizeEvent*) {
  Summarise();
}

void TTakeWaveform::Summarise() {
  FColumns.assign(size_t(std::max(width(), 1)), 0.0F);
  if (FAudio == nullptr || FAudio->Frames() == 0) {
    return;
  }
  const qint64 Frames = FAudio->Frames();
  const size_t Count = FColumns.size();
  for (size_t Column = 0; Column < Count; ++Column) {
    const qint64 From = Frames * qint64(Column) / qint64(Count);
    const qint64 To = std::max(Frames * qint64(Column + 1) / qint64(Count), From + 1);
    int Peak = 0;
    for (qint64 Sample = From * FAudio->Channels; Sample < std::min(To, Frames) * FAudio->Channels;
         ++Sample) {
      Peak = std::max(Peak, std::abs(int{FAudio->Samples[size_t(Sample)]}));
    }
    FColumns[Column] = float(Peak) / 32768.0F;
  }
}

int TTakeWaveform::XOf(qint64 AFrame) const {
  const qint64 Frames = FAudio != nullptr ? std::max<qint64>(FAudio->Frames(), 1) : 1;
  return int(AFrame * width() / Frames);
}

void TTakeWaveform::paintEvent(QPaintEvent*) {
  QPainter Painter(this);
  Painter.fillRect(rect(), palette().color(QPalette::Base));
  if (FAudio == nullptr) {
    return;
  }
  // The part that is trimmed away lies in shade.
  const QColor Cut = palette().color(QPalette::Window).darker(120);
  Painter.fillRect(QRect(0, 0, XOf(FKeptFirst), height()), Cut);
  Painter.fillRect(QRect(XOf(FKeptEnd), 0, width() - XOf(FKeptEnd), height()), Cut);
  const int Middle = height() / 2;
  Painter.setPen(palette().color(QPalette::Highlight));
  for (size_t Column = 0; Column < FColumns.size(); ++Column) {
    const int Half = int(FColumns[Column] * float(Middle - 1));
    Painter.drawLine(int(Column), Middle - Half, int(Column), Middle + Half);
  }
  Painter.setPen(palette().color(QPalette::WindowText));
  Painter.drawLine(XOf(FKeptFirst), 0, XOf(FKeptFirst), height());
  Painter.drawLine(XOf(FKeptEnd) - 1, 0, XOf(FKeptEnd) - 1, height());
  if (FCursor >= 0) {
    Painter.setPen(QPen(QColor(0xd0, 0x20, 0x20), 2));
    Painter.drawLine(XOf(FCursor), 0, XOf(FCursor), height());
  }
}

}  // namespace wavenard
