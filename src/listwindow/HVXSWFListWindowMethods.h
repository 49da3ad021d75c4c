#pragma once

#include "runtime/NSObject.h"

// Gives the list window controller's class what the runtime reaches by name: the interface
// file's actions and awakeFromNib, the poll's and the notification's handlers, the window's and
// the split view's delegate questions, and the class's single-instance operations.
void RegisterListWindowMethods(Class cls);
