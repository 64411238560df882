// Peak memory of the worst playlist answer the worker accepts: a body at the answer size limit
// made of nothing but empty track parts ("<TRACK/>", one row per 8 bytes), taken the way the
// worker takes it: the body, its text, then the rows read from the text once the body is gone.
// Prints the peak resident size; run it under /usr/bin/time -v to see the same figure from outside.
#include <sys/resource.h>

#include <QByteArray>
#include <cstdio>
#include <optional>

#include "remote/answer_text.h"
#include "remote/http_exchange.h"
#include "remote/playlist.h"
#include "remote/playlist_reading.h"

namespace {

double PeakMiB() {
  rusage Usage{};
  getrusage(RUSAGE_SELF, &Usage);
  return static_cast<double>(Usage.ru_maxrss) / 1024.0;
}

}  // namespace

int main() {
  const qint64 Limit = wavenard::THttpLimits().MaxAnswerBytes;
  const double Before = PeakMiB();
  std::optional<QString> Text;
  {
    QByteArray Body("<PLAYLIST>");
    const QByteArray Track("<TRACK/>");
    while (Body.size() + Track.size() + 11 <= Limit) {
      Body += Track;
    }
    Body += "</PLAYLIST>";
    Text = wavenard::DecodeAnswerBody(Body, "text/xml; charset=utf-8");
  }
  wavenard::TPlaylist Playlist;
  wavenard::ReadPlaylist(*Text, Playlist);
  std::printf("answer %.1f MiB, %d rows, peak resident %.1f MiB (%.1f MiB before)\n",
              static_cast<double>(Limit) / (1 << 20), Playlist.Count(), PeakMiB(), Before);
  return 0;
}
