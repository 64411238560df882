#include "suite/recorder/recorder_options.h"

#include <algorithm>
#include <cmath>

#include "config/failures.h"
#include "config/file_store.h"
#include "config/ini_file.h"

namespace wavenard {

namespace {

const QString Section = QStringLiteral("Recorder");

bool ReadBool(const TIniFile& AIni, const QString& AKey, bool ADefault) {
  const QString Value = AIni.ReadString(Section, AKey).trimmed();
  if (Value == u'1') {
    return true;
  }
  if (Value == u'0') {
    return false;
  }
  return ADefault;
}

}  // namespace

TRecorderOptions TRecorderOptions::Load(const QString& AFileName) {
  TRecorderOptions Options;
  TIniFile Ini;
  try {
    Ini = TIniFile::Load(AFileName);
  } catch (const EFileFailure&) {
    return Options;
  }
  Options.Trim = ReadBool(Ini, QStringLiteral("Trim"), Options.Trim);
  Options.Normalise = ReadBool(Ini, QStringLiteral("Normalise"), Options.Normalise);
  bool Ok = false;
  const double Target = Ini.ReadString(Section, QStringLiteral("TargetLoudness")).trimmed().toDouble(&Ok);
  if (Ok && std::isfinite(Target)) {
    Options.TargetLoudness = std::clamp(Target, MinTarget, MaxTarget);
  }
  return Options;
}

void TRecorderOptions::Save(const QString& AFileName) const {
  TWriteOptions WriteOptions;
  WriteOptions.NewFilePermissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
  WriteOptions.Private = true;
  WriteRecordFile(
      AFileName,
      [this] {
        return QStringLiteral("[Recorder]\nTrim=%1\nNormalise=%2\nTargetLoudness=%3\n")
            .arg(Trim ? 1 : 0)
            .arg(Normalise ? 1 : 0)
            .arg(TargetLoudness, 0, 'f', 1)
            .toUtf8();
      },
      WriteOptions);
}

}  // namespace wavenard
