#include "app/ListCommands.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>

#include "app/ResultModel.h"

namespace velmora {

void SelectAllRows(QAbstractItemView& view) { view.selectAll(); }

void CheckAllRows(ResultModel& model, bool checked) {
  for (std::size_t i = 0; i < model.Count(); ++i) model.SetChecked(i, checked);
}

void CheckSelectedRows(QAbstractItemView& view, ResultModel& model, bool checked) {
  const QItemSelectionModel* selection = view.selectionModel();
  if (selection == nullptr) return;
  // By ranges, not by index lists: a selection of a million rows is one range.
  for (const QItemSelectionRange& range : selection->selection()) {
    for (int row = range.top(); row <= range.bottom(); ++row) {
      model.SetChecked(static_cast<std::size_t>(row), checked);
    }
  }
}

}  // namespace velmora
