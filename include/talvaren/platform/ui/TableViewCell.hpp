#pragma once
// A headless table row. Subclasses take their outlets from the row's nib (OutletOwner). Used on the main
// thread.

#include <string>

#include "talvaren/platform/ui/OutletOwner.hpp"
#include "talvaren/platform/ui/View.hpp"

namespace talvaren::platform::ui {

enum class TableViewCellSelectionStyle { none, blue, gray, defaultStyle };

class TableViewCell : public View, public OutletOwner {
 public:
  using View::View;

  bool isSelected() const { return selected_; }
  virtual void setSelected(bool selected, bool animated);

  TableViewCellSelectionStyle selectionStyle() const { return selectionStyle_; }
  void setSelectionStyle(TableViewCellSelectionStyle style) { selectionStyle_ = style; }

  /// The identifier the table dequeued the cell for; empty for a cell made otherwise.
  const std::string& reuseIdentifier() const { return reuseIdentifier_; }
  void setReuseIdentifier(std::string identifier) { reuseIdentifier_ = std::move(identifier); }

  /// Called by the table before it hands the cell out again.
  virtual void prepareForReuse();

 private:
  bool selected_ = false;
  TableViewCellSelectionStyle selectionStyle_ = TableViewCellSelectionStyle::defaultStyle;
  std::string reuseIdentifier_;
};

}  // namespace talvaren::platform::ui
