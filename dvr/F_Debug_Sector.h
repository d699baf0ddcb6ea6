// The debug window TForm4 (instance Form4), "Debug_Sector": one text box,
// Memo1, filling the window, where sectors are written out. Created at
// start-up; no command of the program shows it.
#pragma once

#include <QWidget>

class QPlainTextEdit;

namespace velmora {

class TForm4 : public QWidget {
 public:
  explicit TForm4(QWidget* parent = nullptr);
  ~TForm4() override;

  QPlainTextEdit* Memo1 = nullptr;
};

extern TForm4* Form4;

}  // namespace velmora
