// Shell services: the hooks, the default program starter and folder chooser,
// and the site address.

#include "platform/Shell.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(Shell, HooksReplaceAndRestore) {
  std::vector<std::string> started, opened;
  ProgramStarter oldStarter = SetProgramStarter([&](const std::string& p) {
    started.push_back(p);
    return true;
  });
  UrlOpener oldOpener = SetUrlOpener([&](const std::string& u) {
    opened.push_back(u);
    return false;
  });
  FolderChooser oldChooser = SetFolderChooser(
      [](const std::string& prompt, const std::string& root) -> std::optional<std::string> {
        return root + "/" + prompt;
      });

  EXPECT_TRUE(StartProgram("/opt/velmora/update"));
  EXPECT_FALSE(OpenUrl("http://example.invalid/help.html"));
  EXPECT_EQ(ChooseFolder("out", "/home"), "/home/out");
  EXPECT_EQ(started, std::vector<std::string>{"/opt/velmora/update"});
  EXPECT_EQ(opened, std::vector<std::string>{"http://example.invalid/help.html"});

  SetProgramStarter(oldStarter);
  SetUrlOpener(oldOpener);
  SetFolderChooser(oldChooser);
}

// Without a window system the folder chooser cancels.
TEST(Shell, DefaultFolderChooserCancels) {
  FolderChooser old = SetFolderChooser({});
  EXPECT_EQ(ChooseFolder("选择文件夹", "/"), std::nullopt);
  SetFolderChooser(old);
}

struct StartCase {
  const char* name;
  const char* path;
  bool started;
};

class DefaultStarterTest : public ::testing::TestWithParam<StartCase> {};

// The default starter reports whether the program could be started; it never
// waits for it to end.
TEST_P(DefaultStarterTest, ReportsWhetherItStarted) {
  ProgramStarter old = SetProgramStarter({});
  EXPECT_EQ(StartProgram(GetParam().path), GetParam().started);
  SetProgramStarter(old);
}

INSTANTIATE_TEST_SUITE_P(Cases, DefaultStarterTest,
                         ::testing::Values(StartCase{"Program", "/bin/true", true},
                                           StartCase{"Missing", "/nonexistent/update", false},
                                           StartCase{"NotAProgram", "/etc/passwd", false},
                                           StartCase{"Folder", "/", false},
                                           StartCase{"Empty", "", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Shell, SiteBaseUrlDefaultsToTheBuildSetting) {
  std::string built = VELMORA_SITE_URL;
  while (!built.empty() && built.back() == '/') built.pop_back();
  EXPECT_EQ(SiteBaseUrl(), built);

  SetSiteBaseUrl("http://127.0.0.1:8080/");
  EXPECT_EQ(SiteBaseUrl(), "http://127.0.0.1:8080");
  SetSiteBaseUrl("http://127.0.0.1:8080");
  EXPECT_EQ(SiteBaseUrl(), "http://127.0.0.1:8080");
  SetSiteBaseUrl(built);
  EXPECT_EQ(SiteBaseUrl(), built);
}

}  // namespace
}  // namespace platform
