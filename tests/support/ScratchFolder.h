// A test fixture with a scratch folder of its own, removed afterwards (with
// write permission put back first, so that read-only cases can be cleaned
// up), and the byte files its cases read and write there.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace testsupport {

class ScratchFolderTest : public ::testing::Test {
 protected:
  using Bytes = std::vector<std::uint8_t>;

  // `prefix` names the folder under the temporary directory.
  explicit ScratchFolderTest(std::string prefix) : prefix_(std::move(prefix)) {}

  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / (prefix_ + "-XXXXXX")).string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (auto& e : fs::recursive_directory_iterator(dir_, ec))
      fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // Test set-up only: the files that the routines under test then read.
  std::string MakeFile(const std::string& name, const Bytes& bytes) const {
    std::string p = Path(name);
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return p;
  }
  static Bytes Contents(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::filesystem::path dir_;

 private:
  std::string prefix_;
};

}  // namespace testsupport
