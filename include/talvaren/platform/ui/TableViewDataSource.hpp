#pragma once
// What a table view asks for its rows.

#include <cstddef>
#include <memory>

#include "talvaren/platform/ui/IndexPath.hpp"

namespace talvaren::platform::ui {

class TableView;
class TableViewCell;

class TableViewDataSource {
 public:
  virtual ~TableViewDataSource() = default;
  virtual std::size_t numberOfSections(TableView& tableView) {
    (void)tableView;
    return 1;
  }
  virtual std::size_t numberOfRowsInSection(TableView& tableView, std::size_t section) = 0;
  /// The cell of the row, usually from TableView::dequeueReusableCell.
  virtual std::shared_ptr<TableViewCell> cellForRowAt(TableView& tableView, const IndexPath& indexPath) = 0;
};

}  // namespace talvaren::platform::ui
