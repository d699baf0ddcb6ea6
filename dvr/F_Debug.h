// The debug window TForm3 (instance Form3), "Debug": one text box, Memo1,
// filling the window, where DVR records are written out. Created at start-up;
// no command of the program shows it.
#pragma once

#include <QWidget>

class QPlainTextEdit;

namespace velmora {

class TForm3 : public QWidget {
 public:
  explicit TForm3(QWidget* parent = nullptr);
  ~TForm3() override;

  QPlainTextEdit* Memo1 = nullptr;
};

extern TForm3* Form3;

}  // namespace velmora
