#pragma once
// A headless button: a title per control state and target-action pairs per control event. A user's tap
// is `sendTouch()`; hosts and tests call it where a user would tap. Used on the main thread.
//
//   button->setTitle("Cancel", ControlState::normal);
//   button->addTarget(screen, &MyScreen::cancelTapped, ControlEvent::touchUpInside);
//   button->sendTouch();                        // screen->cancelTapped(*button)

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <typeindex>
#include <vector>

#include "talvaren/platform/ui/View.hpp"

namespace talvaren::platform::ui {

enum class ControlState { normal, highlighted, disabled, selected };
enum class ControlEvent { touchDown, touchUpInside, touchUpOutside, valueChanged };

class Button : public View {
 public:
  using View::View;

  /// Sets (or, with none, clears) the title shown in `state`.
  void setTitle(std::optional<std::string> title, ControlState state);
  /// The title of `state`, falling back to the normal state's when `state` has none of its own.
  std::optional<std::string> title(ControlState state) const;
  /// The title for the state the button is in now.
  std::optional<std::string> currentTitle() const { return title(state()); }

  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled) { enabled_ = enabled; }
  bool isSelected() const { return selected_; }
  void setSelected(bool selected) { selected_ = selected; }
  /// disabled, else selected, else normal.
  ControlState state() const;

  /// Calls `(target.get()->*action)(*this)` on each `event` while the target lives (held weakly). Adding
  /// a pair already registered for that event changes nothing.
  template <typename Target>
  void addTarget(const std::shared_ptr<Target>& target, void (Target::*action)(Button&), ControlEvent event) {
    if (!target) return;
    std::string key(sizeof action, '\0');
    std::memcpy(key.data(), &action, sizeof action);
    std::weak_ptr<Target> weak = target;
    addEntry(Entry{event, target.get(), std::type_index(typeid(Target)), std::move(key),
                   [weak, action](Button& sender) {
                     if (auto strong = weak.lock()) (strong.get()->*action)(sender);
                   },
                   [weak] { return weak.expired(); }});
  }
  /// Removes every action of `target` for `event`.
  void removeTarget(const void* target, ControlEvent event);
  /// Actions registered for `event` (with targets still alive).
  std::size_t actionCount(ControlEvent event) const;

  /// Runs the actions of `event`, in the order they were added.
  void sendActions(ControlEvent event);
  /// A user's tap: touch-down then touch-up-inside; nothing while the button is disabled or hidden.
  void sendTouch();

 private:
  struct Entry {
    ControlEvent event;
    const void* target;
    std::type_index targetType;
    std::string actionKey;
    std::function<void(Button&)> invoke;
    std::function<bool()> expired;
  };
  void addEntry(Entry entry);

  std::map<ControlState, std::string> titles_;
  bool enabled_ = true;
  bool selected_ = false;
  std::vector<Entry> entries_;
};

}  // namespace talvaren::platform::ui
