#include "talvaren/platform/ui/TableView.hpp"

#include <utility>

namespace talvaren::platform::ui {

void TableView::registerNib(std::shared_ptr<const Nib> nib, const std::string& reuseIdentifier) {
  if (nib) {
    nibs_[reuseIdentifier] = std::move(nib);
  } else {
    nibs_.erase(reuseIdentifier);
  }
  reusable_.erase(reuseIdentifier);
}

std::shared_ptr<TableViewCell> TableView::dequeueReusableCell(const std::string& reuseIdentifier,
                                                              const IndexPath& indexPath) {
  (void)indexPath;
  if (auto pool = reusable_.find(reuseIdentifier); pool != reusable_.end() && !pool->second.empty()) {
    auto cell = std::move(pool->second.back());
    pool->second.pop_back();
    cell->prepareForReuse();
    return cell;
  }
  auto nib = nibs_.find(reuseIdentifier);
  if (nib == nibs_.end()) return nullptr;
  auto cell = std::dynamic_pointer_cast<TableViewCell>(nib->second->instantiate());
  if (cell) cell->setReuseIdentifier(reuseIdentifier);
  return cell;
}

void TableView::reloadData() {
  if (reloading_) {
    reloadAgain_ = true;
    return;
  }
  reloading_ = true;
  do {
    reloadAgain_ = false;
    selected_.reset();
    // The cells shown so far may be handed out again for the new rows.
    for (auto& section : rows_) {
      for (auto& cell : section) {
        cell->removeFromSuperview();
        if (!cell->reuseIdentifier().empty()) reusable_[cell->reuseIdentifier()].push_back(std::move(cell));
      }
    }
    rows_.clear();
    std::vector<std::vector<std::shared_ptr<TableViewCell>>> rows;
    if (auto source = dataSource()) {
      const auto sections = source->numberOfSections(*this);
      for (std::size_t section = 0; section < sections; ++section) {
        auto& cells = rows.emplace_back();
        const auto count = source->numberOfRowsInSection(*this, section);
        for (std::size_t row = 0; row < count; ++row) {
          auto cell = source->cellForRowAt(*this, {section, row});
          // A data source that gives no cell gets an empty row rather than a hole in the table.
          cells.push_back(cell ? std::move(cell) : std::make_shared<TableViewCell>());
        }
      }
    }
    rows_ = std::move(rows);
    for (auto& section : rows_) {
      for (auto& cell : section) addSubview(cell);
    }
  } while (reloadAgain_);
  reloading_ = false;
}

std::size_t TableView::numberOfRows(std::size_t section) const {
  return section < rows_.size() ? rows_[section].size() : 0;
}

bool TableView::contains(const IndexPath& indexPath) const { return indexPath.row < numberOfRows(indexPath.section); }

std::shared_ptr<TableViewCell> TableView::cellForRow(const IndexPath& indexPath) const {
  return contains(indexPath) ? rows_[indexPath.section][indexPath.row] : nullptr;
}

std::vector<std::shared_ptr<TableViewCell>> TableView::visibleCells() const {
  std::vector<std::shared_ptr<TableViewCell>> cells;
  for (const auto& section : rows_) cells.insert(cells.end(), section.begin(), section.end());
  return cells;
}

void TableView::setCellSelected(const IndexPath& indexPath, bool selected) {
  if (auto cell = cellForRow(indexPath)) cell->setSelected(selected, false);
}

void TableView::selectRow(std::optional<IndexPath> indexPath, bool animated, TableViewScrollPosition scrollPosition) {
  (void)animated, (void)scrollPosition;
  if (indexPath && !contains(*indexPath)) return;
  if (selected_) setCellSelected(*selected_, false);
  selected_ = indexPath;
  if (selected_) setCellSelected(*selected_, true);
}

void TableView::deselectRow(const IndexPath& indexPath, bool animated) {
  (void)animated;
  if (selected_ != indexPath) return;
  setCellSelected(indexPath, false);
  selected_.reset();
}

void TableView::tapRow(const IndexPath& indexPath) {
  if (!contains(indexPath)) return;
  // The delegate may reload or release the table while it is told; keep it alive for the tap.
  auto keepAlive = weak_from_this().lock();
  if (selected_ && *selected_ != indexPath) {
    const auto previous = *selected_;
    deselectRow(previous, false);
    if (auto d = delegate()) d->didDeselectRowAt(*this, previous);
  }
  if (!contains(indexPath)) return;
  selectRow(indexPath, false, TableViewScrollPosition::none);
  if (auto d = delegate()) d->didSelectRowAt(*this, indexPath);
}

}  // namespace talvaren::platform::ui
