#include "app/F_WXFile.h"

#include <QFrame>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>

#include "app/ScanSetup.h"
#include "app/T_Main.h"
#include "app/WindowHelpers.h"
#include "engine/ScanContext.h"
#include "platform/MessageBox.h"

namespace velmora {

TForm8* Form8 = nullptr;

TForm8::TForm8(QWidget* parent) : QDialog(parent) {
  setObjectName("TForm8");

  Label10 = new QLabel(QString::fromUtf8("请选择微信文件"), this);
  Label10->setObjectName("Label10");
  Label10->setGeometry(16, 12, 380, 20);
  Label10->setStyleSheet("color: navy;");

  auto* rule = new QFrame(this);
  rule->setObjectName("Bevel1");
  rule->setGeometry(16, 36, 380, 2);
  rule->setStyleSheet("border-top: 1px dashed gray;");

  ListView3 = new QTreeWidget(this);
  ListView3->setObjectName("ListView3");
  ListView3->setGeometry(16, 46, 380, 150);
  ListView3->setRootIsDecorated(false);
  ListView3->setItemsExpandable(false);
  ListView3->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView3->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView3->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListView3->setAllColumnsShowFocus(true);
  ListView3->setHeaderLabels({QString::fromUtf8("名称"), QString::fromUtf8("路径")});
  ListView3->header()->setStretchLastSection(false);
  ListView3->setColumnWidth(0, 360);
  ListView3->setColumnWidth(1, 0);
  ListView3->setStyleSheet(GridLineListStyleSheet());

  Button1 = new QPushButton(QString::fromUtf8("确定"), this);
  Button1->setObjectName("Button1");
  Button1->setGeometry(166, 206, 80, 28);
  Button1->setAutoDefault(false);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

  FormCreate();
}

TForm8::~TForm8() {
  if (Form8 == this) Form8 = nullptr;
}

void TForm8::FormCreate() {
  setWindowTitle(QString::fromUtf8("选择微信文件"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(412, 270);
  CenterOnDesktop(this);
}

void TForm8::ClearCandidates() { ListView3->clear(); }

void TForm8::AddCandidate(const std::string& path) {
  auto* item = new QTreeWidgetItem(ListView3);
  item->setText(0, QString::fromStdString(FileNameOf(path)));
  item->setText(1, QString::fromStdString(path));
}

void TForm8::FormActivate() {
  if (ListView3->topLevelItemCount() == 0) return;
  ListView3->setFocus();
  ListView3->setCurrentItem(ListView3->topLevelItem(0));
}

void TForm8::Button1Click() {
  QTreeWidgetItem* row = ListView3->currentItem();
  if (row == nullptr || !row->isSelected()) {
    platform::ShowMessageBox("请先选择要扫描的文件，再进行扫描操作 !", "info",
                             platform::MbIcon::Error);
    return;
  }
  const std::string path = row->text(1).toStdString();
  ScanKinds.push_back(kKindWeChat);
  if (KindPaths.size() < 4) KindPaths.resize(4);
  KindPaths[kKindWeChat] = path;
  SourceRawPath = path;
  SourceDbPath = path;
  accept();
}

void TForm8::FormClose() {
  if (Main != nullptr) Main->setEnabled(true);
}

void TForm8::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormActivate();
}

void TForm8::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  FormClose();
}

}  // namespace velmora
