#pragma once

namespace tamrix {

class LeaseTable;

// Makes the running engine's lease table visible to other processes (the control panel's
// snapshot and release). Started after the table is built, stopped before it is shut down.
class StatusPublication {
 public:
  virtual ~StatusPublication() = default;
  virtual int StartStatusPublication(LeaseTable& table) = 0;  // 1 when serving, else 0
  virtual int StopStatusPublication() = 0;                    // always 1
};

}  // namespace tamrix
