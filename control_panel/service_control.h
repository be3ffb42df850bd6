#pragma once

namespace tamrix {

enum ServiceStatus {
  STATUS_UNKNOWN = -1,
  STATUS_STOPPED = 0,
  STATUS_RUNNING = 1,
  STATUS_PAUSED = 2,
};

// Also the values of the start-up dialog's radio buttons.
enum StartupType {
  STARTUP_UNKNOWN = -1,
  STARTUP_AUTOMATIC = 0,
  STARTUP_MANUAL = 1,
  STARTUP_DISABLED = 2,
};

// The control panel's handle on the service, whichever host runs it. Every operation blocks
// until done and reports through its result; none shows a message. The main window holds one
// for its whole life; tests give it a fake.
class ServiceControl {
 public:
  virtual ~ServiceControl() = default;

  virtual bool IsNT() const = 0;
  virtual ServiceStatus status() const = 0;            // last derived
  virtual StartupType startupType() const = 0;         // last read or chosen
  virtual void SetStartupType(StartupType type) = 0;   // chosen in the start-up dialog

  virtual ServiceStatus QueryServiceStatusCode() = 0;
  virtual StartupType QueryStartupType() = 0;
  virtual int ApplyStartupType() = 0;  // 0 when the stored type was applied
  virtual int StartTheService() = 0;
  virtual int StopTheService() = 0;
  virtual int PauseTheService() = 0;
  virtual int ContinueTheService() = 0;
};

}  // namespace tamrix
