// A ScanView that records what a scanner does to the window, for the tests and
// the headless driver. The tree is kept flat in tree order: each root is
// followed by its two children (a bare root by none).
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/ScanView.h"

namespace velmora {

class RecordingScanView : public ScanView {
 public:
  struct TreeNode {
    std::string text;
    std::optional<TResultNodeTag> tag;
    bool isRoot = false;
  };
  struct LogRow {
    std::string type, date, time, message;
  };

  // TreeView1
  std::vector<TreeNode> tree;
  bool treeExpanded = false;
  // ListView1: every row as the list shows it (a record's row is rendered
  // from its array when it is added).
  std::vector<std::vector<std::string>> rows;
  // ListView3 column removals
  int fragmentColumnClears = 0;
  // Form4's memo lines
  std::vector<std::string> sectorDebugLines;
  // ListView2
  std::vector<LogRow> log;
  // StatusBar1 panels 0..2
  std::string status[3];
  // ProgressBar1
  int progressMin = 0, progressMax = 0, progressPosition = 0;
  // Enabled state of each command (absent until a scanner sets it).
  std::map<ScanCommand, bool> enabled;
  // Message pumps so far; onPump runs inside each (a test may press Stop).
  int pumps = 0;
  std::function<void()> onPump;

  // Text of tree node `index` in tree order, empty when there is none.
  std::string TreeText(std::size_t index) const;
  // The enabled state of `command`; false when never set.
  bool IsEnabled(ScanCommand command) const;

  void TreeClear() override;
  void TreeInsertRootFirst(const std::string& rootText, const std::string& liveText,
                           const std::string& deletedText,
                           std::optional<std::uint8_t> tagKind) override;
  void TreeSetNodeText(int index, const std::string& text) override;
  void TreeExpandAll() override;
  void TreeAddBareRoot(const std::string& text) override;
  void ResultListClear() override;
  void ResultListAddRecord(std::uint8_t kind, std::size_t index) override;
  void ResultListAddRow(std::vector<std::string> cells) override;
  std::size_t ResultListRowCount() const override;
  void FragmentListClearColumns() override;
  void AddLogRow(const std::string& type, const std::string& date, const std::string& time,
                 const std::string& message) override;
  void SetStatusText(int panel, const std::string& text) override;
  void SetProgressRange(int min, int max) override;
  void SetProgressPosition(int position) override;
  void SetCommandEnabled(ScanCommand command, bool enabled) override;
  void AddSectorDebugLine(const std::string& line) override;
  void PumpMessages() override;
};

}  // namespace velmora
