#pragma once
// What a table view tells of a user's row selection. Every callback has an empty default.

#include "talvaren/platform/ui/IndexPath.hpp"

namespace talvaren::platform::ui {

class TableView;

class TableViewDelegate {
 public:
  virtual ~TableViewDelegate() = default;
  virtual void didSelectRowAt(TableView& tableView, const IndexPath& indexPath) { (void)tableView, (void)indexPath; }
  virtual void didDeselectRowAt(TableView& tableView, const IndexPath& indexPath) { (void)tableView, (void)indexPath; }
};

}  // namespace talvaren::platform::ui
