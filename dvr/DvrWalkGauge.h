// An index walk shown on a progress bar: the wizard's gauge and the main
// window's ProgressBar1 both follow a walk through this.
#pragma once

#include <QPointer>
#include <QProgressBar>
#include <cstdint>
#include <functional>

#include "dvr/DvrIndex.h"

namespace velmora {

// Shows the walk's range and positions on `bar`, and runs `pump` where the
// walk lets window messages run.
//
// The walk's range is 0 .. buffer length - 1, so an empty index area gives
// 0 .. -1 and a one-byte area 0 .. 0. A bar whose minimum equals its maximum
// shows a busy animation instead of progress, so the bar always keeps a
// range of at least one step; a position below the walk's minimum (the -1 of
// an empty area) leaves the bar empty, one above its maximum fills it.
class DvrWalkGauge : public DvrWalkProgress {
 public:
  DvrWalkGauge(QProgressBar* bar, std::function<void()> pump);

  void SetRange(std::int64_t minimum, std::int64_t maximum) override;
  void SetPosition(std::int64_t position) override;
  void PumpMessages() override;

 private:
  // The bar may go while the pump runs other window events.
  QPointer<QProgressBar> bar_;
  std::function<void()> pump_;
  std::int64_t minimum_ = 0;
  std::int64_t maximum_ = 0;
};

// `bar` empty: a range of one step and no progress shown.
void ShowEmptyGauge(QProgressBar* bar);

}  // namespace velmora
