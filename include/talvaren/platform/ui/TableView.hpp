#pragma once
// A headless table view. It has no scrolling area: every row is on screen, so after `reloadData` each
// row has a visible cell, which is what a user sees. The data source and delegate are held weakly and
// read at each call. Used on the main thread.
//
//   table->registerNib(Nib::named("RowCell", bundle), "RowCell");
//   table->setDataSource(screen);                 // asked for every row by reloadData()
//   table->reloadData();
//   table->tapRow({0, 2});                        // a user's touch on the third row
//   table->cellForRow({0, 2})                     // the cell the user sees there
//
// Selection is single: selecting a row (programmatically or by a tap) leaves the previously selected
// one. `selectRow` and `deselectRow` tell the delegate nothing; a tap does. `reloadData` drops the
// selection.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "talvaren/platform/ui/IndexPath.hpp"
#include "talvaren/platform/ui/Nib.hpp"
#include "talvaren/platform/ui/TableViewCell.hpp"
#include "talvaren/platform/ui/TableViewDataSource.hpp"
#include "talvaren/platform/ui/TableViewDelegate.hpp"
#include "talvaren/platform/ui/View.hpp"

namespace talvaren::platform::ui {

enum class TableViewScrollPosition { none, top, middle, bottom };

class TableView : public View {
 public:
  using View::View;

  /// The row height that makes each row as tall as its content.
  static constexpr double automaticDimension = -1;

  std::shared_ptr<TableViewDataSource> dataSource() const { return dataSource_.lock(); }
  void setDataSource(std::weak_ptr<TableViewDataSource> dataSource) { dataSource_ = std::move(dataSource); }
  std::shared_ptr<TableViewDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<TableViewDelegate> delegate) { delegate_ = std::move(delegate); }

  /// Cells dequeued for `reuseIdentifier` come from `nib` (whose root must be a TableViewCell); a null
  /// nib removes the registration.
  void registerNib(std::shared_ptr<const Nib> nib, const std::string& reuseIdentifier);
  /// A cell for `indexPath`: one the table no longer shows, or a new one from the registered nib; null
  /// when no nib is registered for the identifier or its root is not a cell.
  std::shared_ptr<TableViewCell> dequeueReusableCell(const std::string& reuseIdentifier, const IndexPath& indexPath);

  /// Asks the data source, synchronously, for the sections, their rows and every row's cell, and shows
  /// them. Without a data source the table is empty. A reload asked for while one runs follows it.
  void reloadData();
  std::size_t numberOfSections() const { return rows_.size(); }
  /// Rows of `section`; 0 for a section that does not exist.
  std::size_t numberOfRows(std::size_t section) const;
  /// The cell shown at `indexPath`; null outside the table.
  std::shared_ptr<TableViewCell> cellForRow(const IndexPath& indexPath) const;
  /// Every shown cell, section by section, row by row.
  std::vector<std::shared_ptr<TableViewCell>> visibleCells() const;

  std::optional<IndexPath> indexPathForSelectedRow() const { return selected_; }
  /// Selects the row (none: clears the selection); a path outside the table is ignored. `animated` and
  /// `scrollPosition` change nothing here, since every row is on screen.
  void selectRow(std::optional<IndexPath> indexPath, bool animated, TableViewScrollPosition scrollPosition);
  void deselectRow(const IndexPath& indexPath, bool animated);

  /// A user's tap on a row: a previously selected other row is deselected (the delegate hears
  /// didDeselectRowAt), then the row is selected (didSelectRowAt). A path outside the table does nothing.
  void tapRow(const IndexPath& indexPath);

  std::shared_ptr<View> tableHeaderView() const { return header_; }
  void setTableHeaderView(std::shared_ptr<View> view) { header_ = std::move(view); }
  std::shared_ptr<View> tableFooterView() const { return footer_; }
  void setTableFooterView(std::shared_ptr<View> view) { footer_ = std::move(view); }
  double rowHeight() const { return rowHeight_; }
  void setRowHeight(double height) { rowHeight_ = height; }
  double estimatedRowHeight() const { return estimatedRowHeight_; }
  void setEstimatedRowHeight(double height) { estimatedRowHeight_ = height; }

 private:
  bool contains(const IndexPath& indexPath) const;
  void setCellSelected(const IndexPath& indexPath, bool selected);

  std::weak_ptr<TableViewDataSource> dataSource_;
  std::weak_ptr<TableViewDelegate> delegate_;
  std::map<std::string, std::shared_ptr<const Nib>> nibs_;
  std::map<std::string, std::vector<std::shared_ptr<TableViewCell>>> reusable_;
  std::vector<std::vector<std::shared_ptr<TableViewCell>>> rows_;
  std::optional<IndexPath> selected_;
  bool reloading_ = false;
  bool reloadAgain_ = false;
  std::shared_ptr<View> header_;
  std::shared_ptr<View> footer_;
  double rowHeight_ = automaticDimension;
  double estimatedRowHeight_ = automaticDimension;
};

}  // namespace talvaren::platform::ui
