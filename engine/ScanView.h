// The one seam between a scanner and the main window. A scanner does to the
// window only what this interface offers; TMain implements it with widgets,
// tests and the headless driver with RecordingScanView. Texts are UTF-8.
// Message boxes do not pass through here: every box of the program goes
// through platform/MessageBox.h, which tests answer by script.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "engine/ScanContext.h"

namespace velmora {

// The three commands whose enabled state a scanner sets. Each stands for a
// tool button and its menu twin: Start = ToolButton3 + N21, Stop =
// ToolButton5 + N2, Recover = ToolButton4 + N16.
enum class ScanCommand { Start, Stop, Recover };

class ScanView {
 public:
  virtual ~ScanView() = default;

  // TreeView1.
  virtual void TreeClear() = 0;
  // Inserts a root as the FIRST node of the tree with two children under it.
  // With a kind, the nodes carry the tags (kind, 2), (kind, 0), (kind, 1);
  // without, they carry none.
  virtual void TreeInsertRootFirst(const std::string& rootText, const std::string& liveText,
                                   const std::string& deletedText,
                                   std::optional<std::uint8_t> tagKind) = 0;
  // Sets the text of the tree's node `index` in tree order (0 = the newest
  // root, 1 and 2 = its children).
  virtual void TreeSetNodeText(int index, const std::string& text) = 0;
  virtual void TreeExpandAll() = 0;
  // Adds one root node with no tag and no children after the tree's roots
  // (the fixed-layout SMS carver's tree, which it has just cleared).
  virtual void TreeAddBareRoot(const std::string&) {}

  // ListView1 (the result list).
  virtual void ResultListClear() = 0;
  // Adds the row of record `index` of `kind`'s result array, in the kind's
  // layout (engine/ResultRows.h). The record is in place before the call; the
  // list keeps the index and shows the record's own texts.
  virtual void ResultListAddRecord(std::uint8_t kind, std::size_t index) = 0;
  // Adds a row that no result array holds (the fixed-layout carver's and the
  // DVR views' rows). cells[0] is the caption, the rest sub-items.
  virtual void ResultListAddRow(std::vector<std::string> cells) = 0;
  // Every row added since the last clear, also those the window has not
  // shown yet.
  virtual std::size_t ResultListRowCount() const = 0;

  // ListView3 (the DVR fragment list): the scanners remove its columns.
  virtual void FragmentListClearColumns() = 0;

  // ListView2 (the log): one row of type, date text, time text, message.
  virtual void AddLogRow(const std::string& type, const std::string& date, const std::string& time,
                         const std::string& message) = 0;

  // StatusBar1 panels 0 and 2.
  virtual void SetStatusText(int panel, const std::string& text) = 0;

  // ProgressBar1.
  virtual void SetProgressRange(int min, int max) = 0;
  virtual void SetProgressPosition(int position) = 0;

  virtual void SetCommandEnabled(ScanCommand command, bool enabled) = 0;

  // Memo1 of the sector-debug window Form4: appends one line.
  virtual void AddSectorDebugLine(const std::string&) {}

  // Runs all pending window messages, then returns. Stop and other commands
  // run inside this call.
  virtual void PumpMessages() = 0;
};

// Appends a log row "System", today's date and the time now in the current
// formats, and `message`.
void AddSystemLog(ScanView& view, const std::string& message);

}  // namespace velmora
