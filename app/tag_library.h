#pragma once

#include <QFunctionPointer>
#include <QLibrary>
#include <QString>
#include <array>

namespace wavenard {

class TBoxPresenter;

// The suite's tag library, loaded at start-up for the suite's tag components and released at
// shutdown. This program never calls it; a library or entry point that is missing is shown in
// one box and start-up goes on.
class TTagLibrary final {
 public:
#ifdef Q_OS_WIN
  static constexpr const char* FileName = "quorvane_taglib.dll";
#else
  static constexpr const char* FileName = "libquorvane_taglib.so";
#endif
  static constexpr std::array<const char*, 5> EntryPoints = {"ReadTag", "WriteTag", "WriteArtwork",
                                                             "ReadAudioProperties", "TagLib_SetTagCodePage"};

  // Loads the library from AApplicationFolder when it lies there, else by name through the
  // system's search path.
  TTagLibrary(const QString& AApplicationFolder, TBoxPresenter& ABoxes);
  ~TTagLibrary();
  Q_DISABLE_COPY_MOVE(TTagLibrary)

  // Whether the library and all of its entry points were found.
  bool Loaded() const {
    return FLoaded;
  }
  // The library's file, as it was loaded.
  QString Path() const {
    return FLibrary.fileName();
  }

 private:
  QLibrary FLibrary;
  std::array<QFunctionPointer, EntryPoints.size()> FEntries{};
  bool FLoaded = false;
};

}  // namespace wavenard
