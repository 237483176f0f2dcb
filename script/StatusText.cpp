#include "script/StatusText.h"

#include <utility>

namespace zorv {

namespace {

StatusHookFunction installedHook;

struct Template {
    int code;
    const char* message;
    bool appendText;
};

constexpr Template kTemplates[] = {
    {5201, "Script: Initializing the port..", false},
    {5202, "Script: Waiting For ", true},
    {5203, "Script: Sending ", true},
    {5204, "Script: Port is set at ", true},
    {5205, "Script: Capturing to ", true},
    {5206, "Script: Dialing ", true},
    {5207, "Script: Hanging up", false},
    {5208, "Script: Uploading ", true},
    {5209, "Script: Downloading ", true},
    {5210, "Script: Redial #", true},
    {5301, "Dialing ", true},
    {5302, "Redial Attempt # ", true},
};

}  // namespace

std::string StatusMessage(int code, const std::string& text) {
    if (code == 0) return text;
    for (const Template& entry : kTemplates)
        if (entry.code == code) return entry.appendText ? entry.message + text : std::string(entry.message);
    return "";
}

void STATUSTEXT(int code, const std::string& text) { StatusHook(StatusMessage(code, text)); }

void StatusHook(const std::string& message) {
    if (installedHook) installedHook(message);
}

void SetStatusHook(StatusHookFunction hook) { installedHook = std::move(hook); }

}  // namespace zorv
