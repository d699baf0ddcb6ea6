// The main window TMain (instance Main): tool bar, result tree and list, log
// pane, status bar with its progress bar, and the hidden main menu whose
// shortcuts act. It is the widget side of the scan seam: the scanners speak
// to it through ScanView.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dvr/DvrIndex.h"
#include "engine/ScanView.h"

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QMenuBar;
class QProgressBar;
class QStackedWidget;
class QTableWidget;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace velmora {

class ResultListView;
class ResultModel;

// Item data role under which a result tree node keeps its TResultNodeTag.
inline constexpr int kNodeTagRole = Qt::UserRole + 1;
// Item data role under which a DVR tree node keeps its index into
// DvrTreeDates (an int).
inline constexpr int kNodeDvrDateRole = Qt::UserRole + 2;

// A result node's tag packed into one int for kNodeTagRole, and read back
// from a node (none for a node without a tag).
inline int PackTag(const TResultNodeTag& tag) { return tag.Kind * 256 + tag.Filter; }
std::optional<TResultNodeTag> NodeTag(const QTreeWidgetItem* item);

class TMain : public QMainWindow, public ScanView {
  Q_OBJECT

 public:
  // Builds the components, then runs FormCreate.
  explicit TMain(QWidget* parent = nullptr);
  ~TMain() override;

  // ---- components, by their names
  QToolBar* ToolBar1 = nullptr;
  QToolButton* ToolButton3 = nullptr;  // Start
  QToolButton* ToolButton5 = nullptr;  // Stop
  QToolButton* ToolButton4 = nullptr;  // Recover
  QToolButton* ToolButton8 = nullptr;  // Help
  QToolButton* ToolButton9 = nullptr;  // About
  QToolButton* ToolButton2 = nullptr;  // Exit
  QStackedWidget* ClientArea = nullptr;
  QWidget* Panel1 = nullptr;   // behind: the DVR fragment list
  QWidget* Panel3 = nullptr;   // on top: the result tree and list
  QTreeWidget* TreeView1 = nullptr;
  ResultListView* ListView1 = nullptr;
  ResultModel* ListModel = nullptr;
  QTableWidget* ListView3 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction* SelectAll1 = nullptr;  // popup: "Select All"
  QAction* N8 = nullptr;          // popup: "Check All"
  QAction* N10 = nullptr;         // popup: "Uncheck All"
  QAction* N9 = nullptr;          // popup: "Check Selected"
  QAction* N28 = nullptr;         // popup: "Uncheck Selected"
  QAction* N6 = nullptr;          // popup: "Recover Checked" (the Recover command)
  // The fragment list's popup menu, attached to no control.
  QMenu* PopupMenu3 = nullptr;
  QAction* MenuItem1 = nullptr;  // "Recover Checked" (N6Click)
  QAction* MenuItem2 = nullptr;  // separator
  QAction* MenuItem3 = nullptr;  // "Select All"
  QAction* MenuItem4 = nullptr;  // "Check All"
  QAction* MenuItem5 = nullptr;  // "Uncheck All"
  QAction* MenuItem6 = nullptr;  // "Check Selected"
  QAction* MenuItem7 = nullptr;  // "Uncheck Selected"
  QFrame* Splitter1 = nullptr;
  QWidget* Panel2 = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  QTreeWidget* ListView2 = nullptr;
  QLabel* StatusPanel0 = nullptr;
  QWidget* StatusPanel1 = nullptr;
  QLabel* StatusPanel2 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  // The HTTP client of the version check and the usage count, and its
  // companion that keeps window messages flowing while it blocks: the client
  // waits in an event loop of its own, so these mark that behaviour.
  QObject* IdHTTP2 = nullptr;
  QObject* IdAntiFreeze1 = nullptr;

  QMenuBar* MainMenu1 = nullptr;
  QAction* N21 = nullptr;  // Start, Alt+S
  QAction* N2 = nullptr;   // Stop, Alt+T
  QAction* N16 = nullptr;  // Recover, Alt+R
  QAction* N4 = nullptr;   // Exit, Alt+E
  QAction* N25 = nullptr;  // About, F3
  QAction* N23 = nullptr;  // Help, F1 (no action)
  QAction* ShowLog1 = nullptr;
  QAction* ShowToolbar1 = nullptr;
  QAction* IOStxl1 = nullptr;   // iOS contacts scanner
  QAction* IOSdx1 = nullptr;    // iOS messages scanner
  QAction* IOSthjl1 = nullptr;  // iOS call history scanner
  QAction* IOSwx1 = nullptr;    // WeChat messages scanner
  QAction* Scan1 = nullptr;
  QAction* Scan11 = nullptr;
  QAction* scan21 = nullptr;
  QAction* Scan31 = nullptr;
  QAction* N13 = nullptr;
  QAction* N14 = nullptr;
  QAction* UncheckAll1 = nullptr;
  QAction* N15 = nullptr;
  QAction* UncheckSelected1 = nullptr;
  QAction* Debug1 = nullptr;
  QAction* Debugbyte1 = nullptr;

  // ---- handlers
  void FormCreate();
  void FormActivate();
  void ToolButton3Click();  // Start: the scan-setup dialog, modeless
  void N21Click();
  void ToolButton5Click();  // Stop
  void N2Click();
  void ToolButton4Click();  // Recover (export)
  void N16Click();
  void N6Click();           // popup "Recover Checked": clicks Recover
  void SelectAll1Click();   // the result list's popup commands
  void N8Click();
  void N10Click();
  void N9Click();
  void N28Click();
  void ToolButton8Click();  // Help
  void ToolButton9Click();  // About
  void N25Click();
  void ToolButton2Click();  // Exit
  void N4Click();
  void ShowLog1Click();
  void ShowToolbar1Click();
  void SpeedButton1Click();
  void ListView2Change();
  void StatusBar1DrawPanel(int panel, const QRect& rect);
  void TreeView1Click();
  void ListView1ColumnClick(int column);
  void IOStxl1Click();
  void IOSdx1Click();
  void IOSthjl1Click();
  void IOSwx1Click();
  void Scan31Click();  // Android call log scanner
  void scan21Click();  // Android SMS scanner
  void Scan11Click();  // Android contacts scanner
  void Scan1Click();   // fixed-layout Android SMS carver

  // ---- the DVR side (reached by no command of the program)
  void Debug1Click();      // DvrFileList into Form3's memo, then Form3 shown
  void Debugbyte1Click();  // Form4 shown
  // The fragment list's commands (rows of ListView3 and their mirror rows
  // of ListView1).
  void MenuItem3Click();  // select every fragment row
  void MenuItem4Click();  // tick every fragment row and its mirror row
  void MenuItem5Click();  // untick every fragment row and its mirror row
  void MenuItem6Click();  // tick each selected fragment row and its mirror row
  void MenuItem7Click();  // untick each selected fragment row and its mirror row
  // The Edit menu's twins: the fragment list's command while ListView3's own
  // visibility flag is set, else the result list's.
  void N13Click();
  void N14Click();
  void UncheckAll1Click();
  void N15Click();
  void UncheckSelected1Click();
  // A mouse release at (X, Y) of ListView3's viewport: when it lies on a
  // row's check box, the mirror row takes the row's check state.
  void ListView1MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int X, int Y);
  // A key release determines no row: nothing changes.
  void ListView1KeyUp(int key, Qt::KeyboardModifiers shift);
  // Fills ListView3 with the DVR files of the selected tree node's date
  // (DvrTreeDates, DvrFileList); hides it for a node without that data.
  void RefreshFragmentList();
  // The main window's index readers: T_Main::Read_DHFS_Index and
  // Read_WFS_Index shown on ProgressBar1 (range 0 .. index length - 1, the
  // position at each entry's byte offset, at the end index length - 1; an
  // empty index leaves the bar empty) with the window's messages running.
  std::unique_ptr<T_Main::TDvrFileList> Read_DHFS_Index(const Fbuf& index, std::int32_t startEntry);
  std::unique_ptr<T_Main::TDvrFileList> Read_WFS_Index(const Fbuf& index, std::int32_t startEntry);

  // The columns of a kind's results on ListView1 (kinds 0 to 3; any other
  // kind changes nothing).
  void SetResultColumns(std::uint8_t kind);

  // What the status panels 0 and 2 show.
  std::string StatusText(int panel) const;

  // ---- ScanView
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
  void PumpMessages() override;
  void AddSectorDebugLine(const std::string& line) override;

  // How often, at most, the result list grows while a scan or a listing runs,
  // in milliseconds. Each growth repaints the list's whole visible area.
  static constexpr int kListGrowthIntervalMs = 100;
  // How long the exit waits for the usage-count server, in milliseconds.
  static constexpr int kCountRequestTimeoutMs = 3000;
  // How long start-up waits for the version file, in milliseconds.
  static constexpr int kVersionRequestTimeoutMs = 30000;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildToolBar();
  void BuildClientArea();
  void BuildLogPane();
  void BuildStatusBar();
  void BuildMainMenu();
  QAction* MenuItem(QMenu* menu, const char* name, const char* caption,
                    const QKeySequence& shortcut = QKeySequence());
  void SetIdleCommands();
  // Shows the result list's waiting rows and lays the list out for them at
  // once, so that the next paint shows them at their final place and width.
  void ShowPendingResultRows();
  void SendUsageCount();
  template <typename Record>
  void ListRecords(std::uint8_t kind, const ResultArray<Record>& records, std::uint8_t filter);
  void BuildDvrSide();  // PopupMenu3, ListView3's check boxes and menu, the DVR items' handlers
  // Fragment row `row` ticked or not, and its mirror row likewise.
  void SetFragmentChecked(int row, bool checked);
  // The mirror row of fragment row `row` takes the row's check state; a
  // mirror row that does not exist changes nothing.
  void MirrorFragmentRow(int row);

  // Bumped by every new listing and by every clear of the list, so that an
  // unfinished listing adds no rows once it is replaced.
  std::uint64_t listingGeneration_ = 0;
  // When the result list last grew during a scan or a listing.
  QElapsedTimer listGrown_;
  // When the status bar was last painted during a scan.
  QElapsedTimer panelsShown_;
  bool closing_ = false;
  int progressMin_ = 0;
  int progressMax_ = 0;
};

extern TMain* Main;

}  // namespace velmora


// TMAIN READY
