// The exit-wait window TForm9 (instance Form9): a borderless notice shown while
// the program sends its usage count on exit.
#pragma once

#include <QWidget>

class QLabel;

namespace velmora {

class TForm9 : public QWidget {
  Q_OBJECT

 public:
  explicit TForm9(QWidget* parent = nullptr);
  ~TForm9() override;

  QLabel* Label1 = nullptr;
};

extern TForm9* Form9;

}  // namespace velmora
