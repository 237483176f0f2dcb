#pragma once
// The library's progress channel. Library operations never write to a window: they
// hand a status code and a text to STATUSTEXT, which builds the message and passes it
// to the application's StatusHook. This program's hook does nothing; its main window
// writes its own status line.
#include <functional>
#include <string>

namespace zorv {

using StatusHookFunction = std::function<void(const std::string& message)>;

// The message for a status code: a fixed template, some followed directly by `text`;
// code 0 gives `text` unchanged and any code without a template an empty message.
std::string StatusMessage(int code, const std::string& text);

// Builds the message and calls StatusHook with it once, also when it is empty.
// No result code changes.
void STATUSTEXT(int code, const std::string& text);

// The application's hook. A hook that shows the text must not start another library
// operation: it may run while a wait is in progress.
void StatusHook(const std::string& message);
// Installs the application's hook; an empty function restores the empty hook.
void SetStatusHook(StatusHookFunction hook);

}  // namespace zorv
