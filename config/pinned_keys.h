#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <mutex>

namespace wavenard {

// The public keys of stations whose own certificates the presenter has chosen to trust, one per
// host and port, kept in a file of our own beside the connection settings. A line is
// "host:port sha256//<Base64 of the SHA-256 of the public key>"; "#" lines and lines that do
// not read as an entry are kept as they are. The file is written privately: it says which
// stations the presenter works with.
//
// Read and changed on the main thread, looked up by request workers; every method takes the
// store's own lock.
class TPinnedKeys final {
 public:
  static constexpr char16_t FileName[] = u"wavenard-pins.ini";

  explicit TPinnedKeys(QString AFileName);
  Q_DISABLE_COPY_MOVE(TPinnedKeys)

  // Reads the file; a missing file holds no keys. Raises EFileFailure when it cannot be read;
  // the store then refuses to change it, so that no key kept there is lost.
  void Load();

  // The pin for AHost and APort, in the form the HTTP client takes; empty when there is none.
  // Host names match without regard to letter case.
  QByteArray Find(QStringView AHost, int APort) const;
  // Trusts APin for AHost and APort from now on and writes the file. Raises EFileFailure when
  // the file cannot be written (the store then stays as it was) or could not be read.
  void Pin(QStringView AHost, int APort, const QByteArray& APin);

  const QString& FilePath() const { return FFileName; }

 private:
  const QString FFileName;
  mutable std::mutex FLock;
  QStringList FLines;
  QString FLoadFailure;
};

}  // namespace wavenard
