#include "dvr/F_Debug_Sector.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace velmora {

TForm4* Form4 = nullptr;

TForm4::TForm4(QWidget* parent) : QWidget(parent) {
  setObjectName("TForm4");
  setWindowFlag(Qt::Window);
  setWindowTitle("Debug_Sector");
  resize(266, 480);
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  // Both scroll bars, and one record per line however long.
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Memo1);
}

TForm4::~TForm4() {
  if (Form4 == this) Form4 = nullptr;
}

}  // namespace velmora
