#pragma once

// A meter emulator behind a pseudo-terminal: a program that opens path() as a serial port
// talks to the meter as through a converter. The meter answers only while the terminal is
// set to its line format (its line rate, 8 data bits, no parity) and sends its bytes paced at
// that rate, a few at a time as a converter hands them on.

#include "meter/MeterEmulator.h"

#include <QString>
#include <atomic>
#include <memory>
#include <thread>

namespace arvex::meter {

class MeterPty {
public:
    explicit MeterPty(std::shared_ptr<MeterEmulator> meter);
    ~MeterPty();
    MeterPty(const MeterPty &) = delete;
    MeterPty &operator=(const MeterPty &) = delete;

    // Makes the terminal and starts serving it; false with the system's reason.
    bool start(QString *error = nullptr);
    void stop();
    QString path() const { return path_; }
    // The meter; read it only after stop().
    const MeterEmulator &meter() const { return *meter_; }

private:
    void serve();

    std::shared_ptr<MeterEmulator> meter_;
    int master_ = -1;
    int slave_ = -1; // held open so that the terminal stays up between users
    QString path_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
};

} // namespace arvex::meter
