#include "script/LibraryState.h"

namespace zorv {

CommControl* CurrentCommControl = nullptr;
int16_t TV_TransferType = 0;
bool DialogAccepted = false;

}  // namespace zorv
