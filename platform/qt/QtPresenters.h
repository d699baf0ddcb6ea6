// The window-system side of the platform services: message boxes as
// QMessageBox, the folder chooser as the desktop's folder dialog, programs
// started detached and web pages opened in the default browser. A program
// calls InstallQtPresenters once, after its QApplication exists.
#pragma once

namespace platform {

void InstallQtPresenters();

}  // namespace platform
