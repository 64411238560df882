#pragma once

#include "support/message_box.h"

namespace wavenard {

// The real boxes: QMessageBox, application-modal, owned by the active window. The text is shown
// as plain text: it often comes from outside (the station, files, the system), and rich text
// would let it load images or lay out a web page.
class TWidgetBoxPresenter final : public TBoxPresenter {
 protected:
  int Present(const TBoxRequest& ARequest) override;
};

}  // namespace wavenard
