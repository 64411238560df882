#include <QApplication>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTimer>

#include "audio/multimedia/media_device_source.h"
#include "config/failures.h"
#include "config/sound_device.h"
#include "suite/recorder/recorder_settings.h"
#include "suite/recorder/recorder_window.h"
#include "suite/recorder/single_instance.h"
#include "support/quit_signals.h"
#include "support/version.h"
#include "support/widgets/widget_box_presenter.h"

// The suite's voice-track recorder. Wavenard starts it with "-wavenard"; it behaves the same
// without. It finds the settings folder as Wavenard does, from its own application folder.
int main(int argc, char** argv) {
  QApplication Application(argc, argv);
  Application.setApplicationName(QStringLiteral("Pellorin"));
  Application.setApplicationVersion(QStringLiteral(WAVENARD_VERSION));
  try {
    const wavenard::TRecorderSettings Settings(
        wavenard::TFolders::ForExecutable(QCoreApplication::applicationFilePath()));
    // A second Record brings the running recorder to the front instead of a second one that
    // records the same microphone into the same folder.
    wavenard::TSingleInstance Instance(Settings.Folders().SettingsFolder(),
                                       QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation));
    if (!Instance.Claim()) {
      return 0;
    }
    wavenard::TMediaDeviceSource Devices;
    wavenard::TWidgetBoxPresenter Boxes;
    wavenard::TRecorderWindow Window(
        [&Settings, &Devices] { return wavenard::ChooseInput(Settings.Microphone(), Devices); },
        Settings.VoiceTracksFolder(), Settings.Folders().SettingsFile(QStringLiteral("pellorin.ini")), Boxes);
    QObject::connect(&Instance, &wavenard::TSingleInstance::RaiseRequested, &Window, [&Window] {
      Window.setWindowState(Window.windowState() & ~Qt::WindowMinimized);
      Window.show();
      Window.raise();
      Window.activateWindow();
    });
    Window.show();
    // The end of the desktop session closes the window as the user would, so a running
    // recording is stopped and kept whole. A close refused while Stop waits for the last of the
    // sound is asked again until the window goes.
    wavenard::TQuitSignals Signals;
    QTimer CloseAgain;
    CloseAgain.setInterval(100);
    const auto Close = [&Window, &CloseAgain] {
      if (Window.close()) {
        CloseAgain.stop();
      } else {
        CloseAgain.start();
      }
    };
    QObject::connect(&CloseAgain, &QTimer::timeout, &Window, Close);
    QObject::connect(&Signals, &wavenard::TQuitSignals::QuitRequested, &Window, Close);
    return QApplication::exec();
  } catch (const wavenard::ESettingsFailure& E) {
    // The settings folder cannot be known ("uid.ini" cannot be read).
    QMessageBox::critical(nullptr, QStringLiteral("Error"), E.Message());
    return 1;
  }
}
