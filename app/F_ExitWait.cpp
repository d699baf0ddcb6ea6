#include "app/F_ExitWait.h"

#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

#include "app/WindowHelpers.h"

namespace velmora {

TForm9* Form9 = nullptr;

TForm9::TForm9(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
  setObjectName("TForm9");
  setFixedSize(250, 47);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  Label1 = new QLabel("软件关闭中，请稍等......", this);
  Label1->setObjectName("Label1");
  Label1->setAlignment(Qt::AlignCenter);
  Label1->setFont(CjkFont(kSongTi, 14));
  QPalette palette = Label1->palette();
  palette.setColor(QPalette::WindowText, Qt::red);
  Label1->setPalette(palette);
  layout->addWidget(Label1);
  CenterOnDesktop(this);
}

TForm9::~TForm9() {
  if (Form9 == this) Form9 = nullptr;
}

}  // namespace velmora
