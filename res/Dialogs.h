#pragma once
// The dialog templates every UI backend builds its windows from.
#include "platform/DialogTemplate.h"

#include <string>

const platform::DialogTemplate& MainDialogTemplate();      // 102
const platform::DialogTemplate& AboutDialogTemplate();     // 100
const platform::DialogTemplate& OverwriteDialogTemplate(); // 129

// The string table; "" for an unknown number.
std::string LoadResString(int id);
