#pragma once
#include "platform/WinTypes.h"

// The application: runs the main window once and ends with it.
class CMyMainApp {
public:
    BOOL InitInstance();
};

// Every text file the program writes is CP932: without the system's converter every non-ASCII
// character would be written as "?", and a Japanese path in "octwtch.ini" destroyed at the next
// save. FALSE, after a box that says so, when it cannot be opened; neither program starts then.
BOOL CheckTextConverter();
