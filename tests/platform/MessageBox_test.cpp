// The message-box service: the presenter hook, the default presenter and the
// scripted boxes of the tests.

#include "platform/MessageBox.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace platform {
namespace {

struct UnattendedCase {
  MbButtons buttons;
  MbResult answer;
};

const UnattendedCase kUnattended[] = {
    {MbButtons::Ok, MbResult::Ok},
    {MbButtons::OkCancel, MbResult::Ok},
    {MbButtons::YesNo, MbResult::No},
    {MbButtons::YesNoCancel, MbResult::No},
};

// With no presenter of its own installed, a box goes to standard error and is
// answered as nobody can: Ok, or No for a question.
TEST(MessageBox, DefaultPresenterWritesToStderrAndAnswers) {
  SetMessageBoxPresenter({});
  for (const auto& c : kUnattended) {
    testing::internal::CaptureStderr();
    MbResult r = ShowMessageBox("无效的数据库，请重新选择！", "提示", MbIcon::Error, c.buttons);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(r, c.answer);
    EXPECT_NE(err.find("无效的数据库，请重新选择！"), std::string::npos) << err;
    EXPECT_NE(err.find("提示"), std::string::npos) << err;
  }
}

TEST(MessageBox, ScriptedBoxesRecordAndAnswerFromTheQueue) {
  ScriptedMessageBoxes boxes({MbResult::Yes, MbResult::Cancel});
  EXPECT_EQ(ShowMessageBox("q1", "更新", MbIcon::Question, MbButtons::YesNo), MbResult::Yes);
  EXPECT_EQ(ShowMessageBox("q2", "info", MbIcon::Warning, MbButtons::OkCancel), MbResult::Cancel);
  // Queue empty: the unattended answers.
  for (const auto& c : kUnattended)
    EXPECT_EQ(ShowMessageBox("t", "c", MbIcon::Information, c.buttons), c.answer);

  ASSERT_EQ(boxes.shown().size(), 2u + std::size(kUnattended));
  EXPECT_EQ(boxes.shown()[0].text, "q1");
  EXPECT_EQ(boxes.shown()[0].caption, "更新");
  EXPECT_EQ(boxes.shown()[0].icon, MbIcon::Question);
  EXPECT_EQ(boxes.shown()[0].buttons, MbButtons::YesNo);
  EXPECT_EQ(boxes.shown()[1].icon, MbIcon::Warning);
  EXPECT_EQ(boxes.shown()[1].buttons, MbButtons::OkCancel);

  boxes.clear();
  EXPECT_TRUE(boxes.shown().empty());
  boxes.Answer(MbResult::Yes);
  EXPECT_EQ(ShowMessageBox("again", "c", MbIcon::Question, MbButtons::YesNo), MbResult::Yes);
  EXPECT_EQ(boxes.shown().size(), 1u);
}

// Scripts nest: the inner one takes the boxes while it lives, then the outer
// one is back; after both, the presenter installed before them is back.
TEST(MessageBox, ScriptsNestAndRestore) {
  std::vector<std::string> seen;
  MessageBoxPresenter before = SetMessageBoxPresenter([&](const MessageBoxRequest& r) {
    seen.push_back(r.text);
    return MbResult::Cancel;
  });
  {
    ScriptedMessageBoxes outer;
    ShowMessageBox("a", "c", MbIcon::None);
    {
      ScriptedMessageBoxes inner;
      ShowMessageBox("b", "c", MbIcon::None);
      EXPECT_EQ(inner.shown().size(), 1u);
    }
    ShowMessageBox("c", "c", MbIcon::None);
    ASSERT_EQ(outer.shown().size(), 2u);
    EXPECT_EQ(outer.shown()[1].text, "c");
  }
  EXPECT_EQ(ShowMessageBox("d", "c", MbIcon::None), MbResult::Cancel);
  EXPECT_EQ(seen, std::vector<std::string>{"d"});
  SetMessageBoxPresenter(before);
}

// onShow runs once the box is recorded and may act from inside the box: queue
// the answer of this very box, or show another box.
TEST(MessageBox, OnShowActsFromInsideTheBox) {
  ScriptedMessageBoxes boxes;
  int calls = 0;
  boxes.onShow = [&](const MessageBoxRequest& r) {
    ++calls;
    EXPECT_EQ(boxes.shown().back().text, r.text);
    if (r.text == "outer") {
      boxes.Answer(MbResult::Yes);
      ShowMessageBox("nested", "c", MbIcon::Information);
    }
  };
  // The nested box (Ok buttons) takes the queued Yes first: answers go in order.
  EXPECT_EQ(ShowMessageBox("outer", "c", MbIcon::Question, MbButtons::YesNo), MbResult::No);
  EXPECT_EQ(calls, 2);
  ASSERT_EQ(boxes.shown().size(), 2u);
  EXPECT_EQ(boxes.shown()[0].text, "outer");
  EXPECT_EQ(boxes.shown()[1].text, "nested");
}

TEST(MessageBox, SetPresenterReturnsThePreviousOne) {
  int firstCalls = 0;
  MessageBoxPresenter original = SetMessageBoxPresenter([&](const MessageBoxRequest&) {
    ++firstCalls;
    return MbResult::Yes;
  });
  MessageBoxPresenter first = SetMessageBoxPresenter([](const MessageBoxRequest&) {
    return MbResult::No;
  });
  EXPECT_EQ(ShowMessageBox("x", "c", MbIcon::None, MbButtons::YesNo), MbResult::No);
  ASSERT_TRUE(first);
  EXPECT_EQ(first(MessageBoxRequest{}), MbResult::Yes);
  EXPECT_EQ(firstCalls, 1);
  SetMessageBoxPresenter(original);
}

}  // namespace
}  // namespace platform
