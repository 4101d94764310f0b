// UserInterface: what the engine needs of the user-interface thread.
//
// The engine's run() starts the user interface, waits until the user has
// ended it, and stops it; commands reach the engine because the user
// interface passes every Notification on to its next handler. The program's
// UiThread is one; the engine's test harness has one without windows.
#pragma once

#include "foundation/Notification.h"

class UserInterface {
public:
    // 0 when the user interface runs, -1 when it could not start.
    virtual int start() = 0;
    // Returns once the user has ended the user interface.
    virtual void waitFinished() = 0;
    // Ends it (with a limit) and releases its thread.
    virtual void stop() = 0;
    // Where the user interface passes the Notifications it does not consume.
    virtual void setNextHandler(NotificationHandler* handler) = 0;

protected:
    ~UserInterface() = default;
};
