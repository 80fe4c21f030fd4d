#include "importers/APIManager.hpp"

#include "importers/APIViewController.hpp"

namespace talvaren {

std::shared_ptr<APIViewController> APIManager::makeAuthorizationScreen() {
  auto screen = std::make_shared<APIViewController>();
  screen->setModalPresentationStyle(platform::ui::ModalPresentationStyle::fullScreen);
  screen->setApiManager(shared_from_this());
  return screen;
}

}  // namespace talvaren
