#include "util/ProgramEnd.h"

#include <cstdio>
#include <cstdlib>
#include <map>

namespace zorv {

namespace {

std::map<int, std::function<void()>>& Hooks() {
    static std::map<int, std::function<void()>> hooks;
    return hooks;
}

int nextHookId = 1;
std::function<void(int)> endHandler;

}  // namespace

void EndProgram(int status) {
    // Copy first: a hook may unregister itself while it runs.
    auto hooks = Hooks();
    for (auto it = hooks.rbegin(); it != hooks.rend(); ++it) it->second();
    if (endHandler) {
        endHandler(status);
        return;
    }
    std::fflush(nullptr);
    std::_Exit(status);
}

int AtProgramEnd(std::function<void()> hook) {
    int id = nextHookId++;
    Hooks()[id] = std::move(hook);
    return id;
}

void RemoveAtProgramEnd(int id) { Hooks().erase(id); }

void SetProgramEndHandler(std::function<void(int)> handler) { endHandler = std::move(handler); }

}  // namespace zorv
