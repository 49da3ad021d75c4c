#include "appkit/NSApplication.h"

NSApplication& NSApplication::sharedApplication() {
    static NSApplication application;
    return application;
}
