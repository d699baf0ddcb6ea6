#include "app/Unit7.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "app/T_Main.h"
#include "app/WindowHelpers.h"
#include "engine/ScanContext.h"
#include "platform/MessageBox.h"

namespace velmora {

TForm7* Form7 = nullptr;

TForm7::TForm7(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setObjectName("TForm7");
  setFixedSize(592, 151);
  Label2 = new QLabel("Current progress", this);
  Label2->setObjectName("Label2");
  Label2->setGeometry(16, 20, 120, 20);
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setGeometry(140, 20, 430, 20);
  ProgressBar1->setValue(0);
  Label3 = new QLabel("Total progress：", this);
  Label3->setObjectName("Label3");
  Label3->setGeometry(16, 52, 120, 20);
  ProgressBar2 = new QProgressBar(this);
  ProgressBar2->setObjectName("ProgressBar2");
  ProgressBar2->setGeometry(140, 52, 430, 20);
  ProgressBar2->setValue(0);
  Label1 = new QLabel("Label1", this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(16, 84, 420, 20);
  Button1 = new QPushButton("Cancel", this);
  Button1->setObjectName("Button1");
  Button1->setGeometry(490, 110, 80, 28);
  connect(Button1, &QPushButton::clicked, this, &TForm7::Button1Click);
  FormCreate();
}

TForm7::~TForm7() {
  if (Form7 == this) Form7 = nullptr;
}

void TForm7::FormCreate() {
  setWindowTitle("Recovering...");
  CenterOnDesktop(this);
}

void TForm7::Button1Click() { close(); }

bool TForm7::FormCloseQuery() {
  if (ScanStopRequested) return true;
  const auto answer =
      platform::ShowMessageBox("Are you sure you want stop the recovery process?", "Information",
                               platform::MbIcon::Question, platform::MbButtons::YesNo);
  if (answer != platform::MbResult::Yes) return false;
  ScanStopRequested = true;
  return true;
}

void TForm7::FormClose() {
  if (Main != nullptr) Main->setEnabled(true);
}

void TForm7::closeEvent(QCloseEvent* event) {
  if (!FormCloseQuery()) {
    event->ignore();
    return;
  }
  event->accept();
  FormClose();
}

// Esc closes through the same query.
void TForm7::reject() { close(); }

}  // namespace velmora
