#include "engine/RecordingScanView.h"

#include "engine/ResultRows.h"

namespace velmora {

std::string RecordingScanView::TreeText(std::size_t index) const {
  return index < tree.size() ? tree[index].text : std::string();
}

bool RecordingScanView::IsEnabled(ScanCommand command) const {
  const auto it = enabled.find(command);
  return it != enabled.end() && it->second;
}

void RecordingScanView::TreeClear() {
  tree.clear();
  treeExpanded = false;
}

void RecordingScanView::TreeInsertRootFirst(const std::string& rootText, const std::string& liveText,
                                            const std::string& deletedText,
                                            std::optional<std::uint8_t> tagKind) {
  auto tag = [&](std::uint8_t filter) -> std::optional<TResultNodeTag> {
    if (!tagKind) return std::nullopt;
    return TResultNodeTag{*tagKind, filter};
  };
  tree.insert(tree.begin(), {TreeNode{rootText, tag(kFilterAll), true},
                             TreeNode{liveText, tag(kFilterLive), false},
                             TreeNode{deletedText, tag(kFilterDeleted), false}});
}

void RecordingScanView::TreeSetNodeText(int index, const std::string& text) {
  if (index >= 0 && static_cast<std::size_t>(index) < tree.size())
    tree[static_cast<std::size_t>(index)].text = text;
}

void RecordingScanView::TreeExpandAll() { treeExpanded = true; }

void RecordingScanView::TreeAddBareRoot(const std::string& text) {
  tree.push_back(TreeNode{text, std::nullopt, true});
}

void RecordingScanView::ResultListClear() { rows.clear(); }

void RecordingScanView::ResultListAddRecord(std::uint8_t kind, std::size_t index) {
  rows.push_back(ResultRecordRow(kind, index));
}

void RecordingScanView::ResultListAddRow(std::vector<std::string> cells) {
  rows.push_back(std::move(cells));
}

std::size_t RecordingScanView::ResultListRowCount() const { return rows.size(); }

void RecordingScanView::FragmentListClearColumns() { ++fragmentColumnClears; }

void RecordingScanView::AddLogRow(const std::string& type, const std::string& date,
                                  const std::string& time, const std::string& message) {
  log.push_back({type, date, time, message});
}

void RecordingScanView::SetStatusText(int panel, const std::string& text) {
  if (panel >= 0 && panel < 3) status[panel] = text;
}

void RecordingScanView::SetProgressRange(int min, int max) {
  progressMin = min;
  progressMax = max;
}

void RecordingScanView::SetProgressPosition(int position) { progressPosition = position; }

void RecordingScanView::SetCommandEnabled(ScanCommand command, bool on) { enabled[command] = on; }

void RecordingScanView::AddSectorDebugLine(const std::string& line) {
  sectorDebugLines.push_back(line);
}

void RecordingScanView::PumpMessages() {
  ++pumps;
  if (onPump) onPump();
}

}  // namespace velmora
