#include "updater/Update.h"

#include <QApplication>

#include "platform/qt/QtPresenters.h"
#include "updater/F_Update.h"

int Update(int& argc, char** argv) {
  QApplication app(argc, argv);
  platform::InstallQtPresenters();
  F_Update::TForm1 form;
  form.show();
  return QApplication::exec();
}
