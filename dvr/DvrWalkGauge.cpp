#include "dvr/DvrWalkGauge.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace velmora {

namespace {

int ToInt(std::int64_t v) {
  return static_cast<int>(
      std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

DvrWalkGauge::DvrWalkGauge(QProgressBar* bar, std::function<void()> pump)
    : bar_(bar), pump_(std::move(pump)) {}

void DvrWalkGauge::SetRange(std::int64_t minimum, std::int64_t maximum) {
  minimum_ = minimum;
  maximum_ = std::max(minimum, maximum);
  if (bar_.isNull()) return;
  int low = ToInt(minimum_);
  int high = ToInt(maximum_);
  if (high <= low) {
    if (low < std::numeric_limits<int>::max()) {
      high = low + 1;
    } else {
      low = high - 1;
    }
  }
  bar_->setRange(low, high);
  bar_->reset();
}

void DvrWalkGauge::SetPosition(std::int64_t position) {
  if (bar_.isNull()) return;
  if (position < minimum_) {
    bar_->reset();  // below the range: no progress shown
    return;
  }
  bar_->setValue(ToInt(std::min(position, maximum_)));
}

void DvrWalkGauge::PumpMessages() {
  if (pump_) pump_();
}

void ShowEmptyGauge(QProgressBar* bar) {
  if (bar == nullptr) return;
  bar->setRange(0, 1);
  bar->reset();
}

}  // namespace velmora
