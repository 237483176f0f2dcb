#include "util/EventHandler.h"

#include <exception>
#include <string>

#include "util/Error.h"
#include "util/UiServices.h"

namespace zorv {

void RunEventHandler(const std::function<void()>& body) {
    try {
        body();
    } catch (const Error& error) {
        MsgBox("Run-time error " + std::to_string(error.number()) + ": " + error.description(),
               MsgButtons::Ok, kProgramTitle, MsgIcon::Critical);
    } catch (const std::exception& error) {
        // 51 is the classic number for an internal error.
        MsgBox(std::string("Run-time error 51: ") + error.what(), MsgButtons::Ok, kProgramTitle, MsgIcon::Critical);
    }
}

}  // namespace zorv
