// Notification: a command travelling from a window to its owner, and on to
// the engine. Built on the stack, passed by reference, discarded after the
// call. The codes are listed below with who raises and who consumes them.
#pragma once

#include <cstdint>

namespace Code {
enum : int32_t {
    Reference = 101,      // start the reference measurement (engine)
    Analyze = 102,        // start the analysis (engine)
    Pause = 103,          // pause (engine)
    Config = 104,         // open the configuration window (main window)
    LineControl = 105,    // start the external volume-control program (engine)
    Recorder = 106,       // start the external recorder program (engine)
    Defaults = 107,       // restore the default settings (engine)
    MainWindowGone = 108, // main window destroyed (UI thread, then engine)
    Calibrate = 109,      // measure the calibrator and set the offset (engine)
    LoadReference = 110,  // make the spectrum in the store's ReferenceImport the Reference (engine)
    Apply = 201,          // stop the measurement: sampling settings change (engine)
    Save = 202,           // save the settings to the registry (engine)
    ConfigClosed = 205,   // configuration window closed (main window)
};
}

class Notification {
public:
    explicit Notification(int32_t code) : code_(code) {}
    int32_t code() const { return code_; }

private:
    int32_t code_;
};

// Whatever receives the notifications the UI thread passes on: the engine.
class NotificationHandler {
public:
    virtual int notify(const Notification& n) = 0;

protected:
    ~NotificationHandler() = default;
};
