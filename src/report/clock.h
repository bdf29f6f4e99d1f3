// The local clock, as far as the date stamp of written files needs it.
#pragma once

namespace ftir::report {

struct LocalDateTime {
  int year = 0;    // all four digits
  int month = 0;   // 1 to 12
  int day = 0;     // 1 to 31
  int hour = 0;    // 0 to 23
  int minute = 0;  // 0 to 59
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalDateTime now() const = 0;
};

// The machine's local date and time.
class SystemClock : public Clock {
 public:
  LocalDateTime now() const override;
};

}  // namespace ftir::report
