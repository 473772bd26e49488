// The Help page: the document that explains each finding, read-only rich text from the program's
// resources.
#pragma once

#include <memory>

#include "ui/page.h"

namespace ui {

class HelpPage : public Page {
 public:
  HelpPage();
  ~HelpPage() override;
  // Creates the page and loads the document; without it (or with a broken one) the page stays
  // empty and nothing is said.
  void Create(HWND parent, UiContext& context) override;
  HWND Window() const override;
  HWND Document() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace ui
