#pragma once
#include "platform/WinTypes.h"

// The application: runs the main window once and ends with it.
class CMyMainApp {
public:
    BOOL InitInstance();
};
