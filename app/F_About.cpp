#include "app/F_About.h"

#include <QFrame>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

#include "app/AppGlobals.h"
#include "app/WindowHelpers.h"
#include "platform/Shell.h"

namespace velmora {

TForm6* Form6 = nullptr;

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    emit clicked();
  }
}

void LinkLabel::mouseMoveEvent(QMouseEvent* event) {
  QLabel::mouseMoveEvent(event);
  emit mouseMoved();
}

void LinkLabel::leaveEvent(QEvent* event) {
  QLabel::leaveEvent(event);
  emit mouseLeft();
}

namespace {

void SetTextColour(QLabel* label, const QColor& colour) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, colour);
  label->setPalette(palette);
}

void SetUnderline(QLabel* label, bool on) {
  QFont font = label->font();
  font.setUnderline(on);
  label->setFont(font);
}

// The picture of the contact button: a small rounded button with a caption.
QPixmap ContactPicture() {
  QPixmap pixmap(86, 25);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QColor(0x1f, 0x6f, 0xb5));
  painter.setBrush(QColor(0x2f, 0x8f, 0xdf));
  painter.drawRoundedRect(QRectF(0.5, 0.5, 85, 24), 4, 4);
  painter.setPen(Qt::white);
  painter.setFont(CjkFont(kSongTi, 12));
  painter.drawText(QRect(0, 0, 86, 25), Qt::AlignCenter, "在线咨询");
  return pixmap;
}

}  // namespace

TForm6::TForm6(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setObjectName("TForm6");
  setFixedSize(480, 230);

  Label1 = new QLabel(this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(24, 16, 432, 32);
  Label1->setFont(CjkFont(kHeiTi, 19, true));

  Shape1 = new QFrame(this);
  Shape1->setObjectName("Shape1");
  Shape1->setFrameShape(QFrame::HLine);
  Shape1->setFrameShadow(QFrame::Plain);
  Shape1->setLineWidth(1);
  Shape1->setGeometry(24, 52, 432, 1);

  const char* lines[] = {"技术支持：在线客服", "服务时间：周一至周五 9:00-18:00",
                         "客服邮箱：support@kestrova.invalid", "版权所有 (C) Kestrova"};
  QLabel** labels[] = {&Label2, &Label3, &Label4, &Label6};
  const char* names[] = {"Label2", "Label3", "Label4", "Label6"};
  for (int i = 0; i < 4; ++i) {
    *labels[i] = new QLabel(QString::fromUtf8(lines[i]), this);
    (*labels[i])->setObjectName(names[i]);
    (*labels[i])->setFont(CjkFont(kSongTi, 13));
    (*labels[i])->setGeometry(24, 66 + i * 24, 300, 20);
  }

  auto makeLink = [this](const char* name, const char* text, int x, int y) {
    auto* link = new LinkLabel(QString::fromUtf8(text), this);
    link->setObjectName(name);
    QFont font = CjkFont(kSongTi, 13);
    font.setUnderline(true);
    link->setFont(font);
    SetTextColour(link, Qt::blue);
    link->setCursor(Qt::PointingHandCursor);
    link->setMouseTracking(true);
    link->setGeometry(x, y, 80, 20);
    return link;
  };
  Label5 = makeLink("Label5", "访问官网", 340, 66);
  Label7 = makeLink("Label7", "使用帮助", 340, 90);

  Image1 = new LinkLabel(this);
  Image1->setObjectName("Image1");
  Image1->setPixmap(ContactPicture());
  Image1->setCursor(Qt::PointingHandCursor);
  Image1->setGeometry(340, 118, 86, 25);

  Button1 = new QPushButton("关闭", this);
  Button1->setObjectName("Button1");
  Button1->setGeometry(376, 186, 80, 28);

  connect(Label5, &LinkLabel::clicked, this, &TForm6::Label5Click);
  connect(Label5, &LinkLabel::mouseMoved, this, &TForm6::Label5MouseMove);
  connect(Label5, &LinkLabel::mouseLeft, this, &TForm6::Label5MouseLeave);
  connect(Label7, &LinkLabel::clicked, this, &TForm6::Label7Click);
  connect(Image1, &LinkLabel::clicked, this, &TForm6::Image1Click);
  connect(Button1, &QPushButton::clicked, this, &TForm6::Button1Click);

  FormCreate();
}

TForm6::~TForm6() {
  if (Form6 == this) Form6 = nullptr;
}

void TForm6::FormCreate() {
  setWindowTitle("About");
  Label1->setText(QString::fromStdString(AppTitle + AppVersion));
  CenterOnDesktop(this);
}

void TForm6::Label5Click() { platform::OpenUrl(HomePageURL()); }
void TForm6::Label7Click() { platform::OpenUrl(HelpPageURL()); }
void TForm6::Image1Click() { platform::OpenUrl(ContactPageURL()); }

void TForm6::Label5MouseMove() {
  SetTextColour(Label5, palette().color(QPalette::Highlight));
  SetUnderline(Label5, true);
  Label5->setCursor(Qt::PointingHandCursor);
}

void TForm6::Label5MouseLeave() {
  SetTextColour(Label5, Qt::black);
  SetUnderline(Label5, false);
  Label5->setCursor(Qt::PointingHandCursor);
}

void TForm6::Button1Click() { close(); }

}  // namespace velmora
