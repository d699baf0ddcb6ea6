#include "platform/MessageBox.h"

#include <cstdio>
#include <utility>

namespace platform {

namespace {

bool IsQuestion(MbButtons buttons) {
  return buttons == MbButtons::YesNo || buttons == MbButtons::YesNoCancel;
}

// The answer of a box that nobody is there to answer.
MbResult UnattendedAnswer(MbButtons buttons) {
  return IsQuestion(buttons) ? MbResult::No : MbResult::Ok;
}

const char* IconName(MbIcon icon) {
  switch (icon) {
    case MbIcon::None:
      return "";
    case MbIcon::Information:
      return "information";
    case MbIcon::Question:
      return "question";
    case MbIcon::Warning:
      return "warning";
    case MbIcon::Error:
      return "error";
  }
  return "";
}

MbResult DefaultPresenter(const MessageBoxRequest& request) {
  std::fprintf(stderr, "[%s%s%s] %s\n", request.caption.c_str(),
               request.icon == MbIcon::None ? "" : ", ", IconName(request.icon),
               request.text.c_str());
  std::fflush(stderr);
  return UnattendedAnswer(request.buttons);
}

MessageBoxPresenter& CurrentPresenter() {
  static MessageBoxPresenter presenter = DefaultPresenter;
  return presenter;
}

}  // namespace

MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter) {
  if (!presenter) presenter = DefaultPresenter;
  return std::exchange(CurrentPresenter(), std::move(presenter));
}

MbResult ShowMessageBox(const std::string& text, const std::string& caption, MbIcon icon,
                        MbButtons buttons) {
  MessageBoxRequest request{text, caption, icon, buttons};
  // A copy, so that a presenter may replace itself while its box is up.
  MessageBoxPresenter presenter = CurrentPresenter();
  return presenter(request);
}

ScriptedMessageBoxes::ScriptedMessageBoxes(std::vector<MbResult> answers)
    : answers_(std::move(answers)) {
  previous_ = SetMessageBoxPresenter([this](const MessageBoxRequest& request) {
    shown_.push_back(request);
    if (onShow) {
      // The request by value: a box shown from inside onShow grows shown_.
      auto hook = onShow;
      hook(request);
    }
    if (answers_.empty()) return UnattendedAnswer(request.buttons);
    MbResult answer = answers_.front();
    answers_.erase(answers_.begin());
    return answer;
  });
}

ScriptedMessageBoxes::~ScriptedMessageBoxes() { SetMessageBoxPresenter(std::move(previous_)); }

}  // namespace platform
