// The result list's popup commands: select every row, check or uncheck every
// row, and check or uncheck the selected rows. The check boxes are the list's
// own; the export does not read them.
#pragma once

class QAbstractItemView;

namespace velmora {

class ResultModel;

// Selects every row of `view`.
void SelectAllRows(QAbstractItemView& view);
// Checks (or unchecks) every row of `model`.
void CheckAllRows(ResultModel& model, bool checked);
// Checks (or unchecks) each row of `model` that is selected in `view`.
void CheckSelectedRows(QAbstractItemView& view, ResultModel& model, bool checked);

}  // namespace velmora
