#include "app/window_state_file.h"

#include <QHeaderView>
#include <QStringList>
#include <QWidget>
#include <utility>

#include "app/column_fit.h"
#include "config/failures.h"
#include "config/file_store.h"
#include "config/ini_file.h"

namespace wavenard {

namespace {

const QString Section = QStringLiteral("Window");
const QString GeometryKey = QStringLiteral("Geometry");
const QString ColumnsKey = QStringLiteral("Columns");
const QString ResizedKey = QStringLiteral("Resized");

QByteArray Decoded(const QString& AValue) {
  const auto Result =
      QByteArray::fromBase64Encoding(AValue.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
  return Result ? *Result : QByteArray();
}

}  // namespace

TWindowStateFile::TWindowStateFile(QString AFileName) : FFileName(std::move(AFileName)) {}

void TWindowStateFile::Restore(QWidget& AWindow, QHeaderView& AHeader, TColumnFit& AFit) const {
  TIniFile File;
  try {
    File = TIniFile::Load(FFileName);
  } catch (const EFileFailure&) {
    return;
  }
  const QByteArray Geometry = Decoded(File.ReadString(Section, GeometryKey));
  if (!Geometry.isEmpty()) {
    AWindow.restoreGeometry(Geometry);
  }
  const QByteArray Columns = Decoded(File.ReadString(Section, ColumnsKey));
  if (Columns.isEmpty() || !AHeader.restoreState(Columns)) {
    return;
  }
  QList<int> Resized;
  for (const QString& Column :
       File.ReadString(Section, ResizedKey).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
    bool Ok = false;
    const int Number = Column.trimmed().toInt(&Ok);
    if (Ok) {
      Resized.append(Number);
    }
  }
  AFit.SetUserSized(Resized);
}

void TWindowStateFile::Save(const QWidget& AWindow, const QHeaderView& AHeader,
                            const TColumnFit& AFit) const {
  QStringList Resized;
  for (int Column : AFit.UserSized()) {
    Resized.append(QString::number(Column));
  }
  const QByteArray Text = "[" + Section.toLatin1() + "]\n" + GeometryKey.toLatin1() + "=" +
                          AWindow.saveGeometry().toBase64() + "\n" + ColumnsKey.toLatin1() + "=" +
                          AHeader.saveState().toBase64() + "\n" + ResizedKey.toLatin1() + "=" +
                          Resized.join(QLatin1Char(',')).toLatin1() + "\n";
  TWriteOptions Options;
  Options.NewFilePermissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
  Options.Private = true;
  WriteRecordFile(
      FFileName, [&Text] { return Text; }, Options);
}

}  // namespace wavenard
