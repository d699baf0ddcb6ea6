#include "app/ProgramMain.h"

#include <QApplication>
#include <QFont>
#include <QThreadPool>
#include <memory>

#include "app/AppGlobals.h"
#include "app/F_About.h"
#include "app/F_ExitWait.h"
#include "app/F_WXFile.h"
#include "app/T_Main.h"
#include "app/T_Option.h"
#include "app/Unit7.h"
#include "app/WindowHelpers.h"
#include "dvr/F_Debug.h"
#include "dvr/F_Debug_Sector.h"
#include "dvr/F_Main.h"
#include "platform/qt/QtPresenters.h"

namespace velmora {

void UseCjkApplicationFont() {
  const QString family = ApplicationCjkFamily();
  if (family.isEmpty()) return;
  QFont font = QApplication::font();
  font.setFamilies({family});
  QApplication::setFont(font);
}

void PaintLargeFillsOnOneThread() { QThreadPool::globalInstance()->setMaxThreadCount(1); }

int ProgramMain(int argc, char** argv) {
  QApplication application(argc, argv);
  // The main window's close decides when the program ends.
  QApplication::setQuitOnLastWindowClosed(false);
  UseCjkApplicationFont();
  PaintLargeFillsOnOneThread();
  platform::InstallQtPresenters();

  // In this order: the main window's creation runs before any other window
  // exists.
  auto main = std::make_unique<TMain>();
  auto form1 = std::make_unique<F_Main::TForm1>();  // the DVR wizard: probes the drives
  F_Main::Form1 = form1.get();
  auto form2 = std::make_unique<TForm2>();
  Form2 = form2.get();
  auto form3 = std::make_unique<TForm3>();
  Form3 = form3.get();
  auto form4 = std::make_unique<TForm4>();
  Form4 = form4.get();
  auto form6 = std::make_unique<TForm6>();
  Form6 = form6.get();
  auto form7 = std::make_unique<TForm7>();
  Form7 = form7.get();
  auto form8 = std::make_unique<TForm8>();
  Form8 = form8.get();
  auto form9 = std::make_unique<TForm9>();
  Form9 = form9.get();

  int rc = 0;
  if (!ApplicationEndRequested()) {
    main->show();
    rc = QApplication::exec();
  }
  return rc;
}

}  // namespace velmora
