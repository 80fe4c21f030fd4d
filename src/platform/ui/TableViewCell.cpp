#include "talvaren/platform/ui/TableViewCell.hpp"

namespace talvaren::platform::ui {

void TableViewCell::setSelected(bool selected, bool animated) {
  (void)animated;
  selected_ = selected;
}

void TableViewCell::prepareForReuse() { selected_ = false; }

}  // namespace talvaren::platform::ui
