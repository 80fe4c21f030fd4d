#include "talvaren/platform/ui/Button.hpp"

#include <algorithm>

namespace talvaren::platform::ui {

void Button::setTitle(std::optional<std::string> title, ControlState state) {
  if (title) {
    titles_[state] = std::move(*title);
  } else {
    titles_.erase(state);
  }
}

std::optional<std::string> Button::title(ControlState state) const {
  if (auto own = titles_.find(state); own != titles_.end()) return own->second;
  if (auto normal = titles_.find(ControlState::normal); normal != titles_.end()) return normal->second;
  return std::nullopt;
}

ControlState Button::state() const {
  if (!enabled_) return ControlState::disabled;
  if (selected_) return ControlState::selected;
  return ControlState::normal;
}

void Button::addEntry(Entry entry) {
  std::erase_if(entries_, [](const Entry& e) { return e.expired(); });
  for (const auto& e : entries_) {
    if (e.event == entry.event && e.target == entry.target && e.targetType == entry.targetType &&
        e.actionKey == entry.actionKey) {
      return;
    }
  }
  entries_.push_back(std::move(entry));
}

void Button::removeTarget(const void* target, ControlEvent event) {
  std::erase_if(entries_, [&](const Entry& e) { return e.event == event && e.target == target; });
}

std::size_t Button::actionCount(ControlEvent event) const {
  return static_cast<std::size_t>(std::count_if(entries_.begin(), entries_.end(),
                                                [&](const Entry& e) { return e.event == event && !e.expired(); }));
}

void Button::sendActions(ControlEvent event) {
  // An action may change the list (or release the button): run a copy, keeping the button alive.
  auto keepAlive = weak_from_this().lock();
  std::vector<std::function<void(Button&)>> actions;
  for (const auto& e : entries_) {
    if (e.event == event) actions.push_back(e.invoke);
  }
  for (auto& action : actions) action(*this);
}

void Button::sendTouch() {
  if (!enabled_ || isHidden()) return;
  sendActions(ControlEvent::touchDown);
  sendActions(ControlEvent::touchUpInside);
}

}  // namespace talvaren::platform::ui
