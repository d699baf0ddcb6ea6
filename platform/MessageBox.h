// The message-box service. Every message box of the programs goes through
// ShowMessageBox: the windows install a presenter that shows a real box, tests
// install one that answers by script and records what was shown.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

enum class MbIcon { None, Information, Question, Warning, Error };
enum class MbButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MbResult { Ok, Cancel, Yes, No };

struct MessageBoxRequest {
  std::string text;     // UTF-8
  std::string caption;  // UTF-8
  MbIcon icon = MbIcon::None;
  MbButtons buttons = MbButtons::Ok;
};

using MessageBoxPresenter = std::function<MbResult(const MessageBoxRequest&)>;

// Installs `presenter` and returns the one it replaces. An empty presenter puts
// back the default, which writes the box to standard error and answers Ok
// (No for a question).
MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter);

MbResult ShowMessageBox(const std::string& text, const std::string& caption, MbIcon icon,
                        MbButtons buttons = MbButtons::Ok);

// For tests and the headless driver: while alive, answers boxes from a queue
// (Ok, or No for a question, once the queue is empty) and records every box.
class ScriptedMessageBoxes {
 public:
  explicit ScriptedMessageBoxes(std::vector<MbResult> answers = {});
  ~ScriptedMessageBoxes();
  ScriptedMessageBoxes(const ScriptedMessageBoxes&) = delete;
  ScriptedMessageBoxes& operator=(const ScriptedMessageBoxes&) = delete;

  void Answer(MbResult r) { answers_.push_back(r); }
  const std::vector<MessageBoxRequest>& shown() const { return shown_; }
  void clear() { shown_.clear(); }
  // Called after each box is recorded (a test may act from inside a box).
  std::function<void(const MessageBoxRequest&)> onShow;

 private:
  std::vector<MbResult> answers_;
  std::vector<MessageBoxRequest> shown_;
  MessageBoxPresenter previous_;
};

}  // namespace platform
