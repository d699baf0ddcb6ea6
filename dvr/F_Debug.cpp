#include "dvr/F_Debug.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace velmora {

TForm3* Form3 = nullptr;

TForm3::TForm3(QWidget* parent) : QWidget(parent) {
  setObjectName("TForm3");
  setWindowFlag(Qt::Window);
  setWindowTitle("Debug");
  resize(279, 480);
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

TForm3::~TForm3() {
  if (Form3 == this) Form3 = nullptr;
}

}  // namespace velmora
