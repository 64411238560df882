#pragma once

#include <QString>

class QHeaderView;
class QWidget;

namespace wavenard {

class TColumnFit;

// Where the playlist window was and how its columns were, kept for the next start in a small
// file of the program's own in the settings folder: the window's geometry (with its maximised
// state), the columns' widths and order, and which of them the user resized. Written privately.
class TWindowStateFile {
 public:
  explicit TWindowStateFile(QString AFileName);

  // Puts the window and the columns where the file says. A missing or unreadable file, or a
  // value that does not fit, leaves them as they are.
  void Restore(QWidget& AWindow, QHeaderView& AHeader, TColumnFit& AFit) const;
  // Raises EFileFailure when the file cannot be written; the old one then stays.
  void Save(const QWidget& AWindow, const QHeaderView& AHeader, const TColumnFit& AFit) const;

 private:
  QString FFileName;
};

}  // namespace wavenard
