#pragma once
// The dialog templates every UI backend builds its windows from.
#include "ui/DialogTemplate.h"

#include <string>

const ui::DialogTemplate& MainDialogTemplate();      // 102
const ui::DialogTemplate& AboutDialogTemplate();     // 100
const ui::DialogTemplate& OverwriteDialogTemplate(); // 129

// The string table; "" for an unknown number.
std::string LoadResString(int id);
