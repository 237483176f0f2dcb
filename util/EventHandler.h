#pragma once
// Event handlers (button clicks, control notifications) run their body through this:
// an error that nothing inside trapped is shown as "Run-time error N: description" in
// a message box, and the program goes on.
#include <functional>

namespace zorv {

void RunEventHandler(const std::function<void()>& body);

}  // namespace zorv
