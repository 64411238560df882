#include "support/widgets/widget_box_presenter.h"

#include <QApplication>
#include <QMessageBox>

namespace wavenard {

int TWidgetBoxPresenter::Present(const TBoxRequest& ARequest) {
  QMessageBox::Icon Icon = QMessageBox::NoIcon;
  switch (ARequest.Flags & 0xF0) {
    case MB_ICONERROR:
      Icon = QMessageBox::Critical;
      break;
    case MB_ICONQUESTION:
      Icon = QMessageBox::Question;
      break;
    case MB_ICONWARNING:
      Icon = QMessageBox::Warning;
      break;
    case MB_ICONINFORMATION:
      Icon = QMessageBox::Information;
      break;
    default:
      break;
  }
  QMessageBox::StandardButtons Buttons = QMessageBox::Ok;
  switch (ARequest.Flags & 0x0F) {
    case MB_OKCANCEL:
      Buttons = QMessageBox::Ok | QMessageBox::Cancel;
      break;
    case MB_YESNO:
      Buttons = QMessageBox::Yes | QMessageBox::No;
      break;
    default:
      break;
  }
  QMessageBox Box(Icon, ARequest.Caption, QString(), Buttons, QApplication::activeWindow());
  // The format first: text set while it is still automatic would already be laid out as HTML.
  Box.setTextFormat(Qt::PlainText);
  Box.setText(BoxText(ARequest.Text));
  Box.setWindowModality(Qt::ApplicationModal);
  Box.setLayoutDirection(QGuiApplication::layoutDirection());
  switch (Box.exec()) {
    case QMessageBox::Ok:
      return IDOK;
    case QMessageBox::Yes:
      return IDYES;
    case QMessageBox::No:
      return IDNO;
    default:
      return IDCANCEL;
  }
}

}  // namespace wavenard
