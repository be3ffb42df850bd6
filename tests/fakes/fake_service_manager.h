#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/registry_hive.h"
#include "platform/service_manager.h"

namespace tamrix::testing {

// Services in memory, with the real manager's checks and codes (service_contract_test.cpp holds
// the two to the same rules). Calls are recorded as lines ("StartService TAMXNTs",
// "ControlService TAMXNTs 1"); failures[operation] makes that operation return the code and do
// nothing else. A started service is RUNNING at once and controls move it the obvious way, unless
// a test says otherwise: startState is the state a start leaves, ignoredControls are answered
// without a change, and queryScript supplies the states of the next status queries one by one.
class FakeServiceManager final : public ServiceManager {
 public:
  struct Service {
    ServiceConfig config;
    ServiceStatusReport status;
    bool markedForDelete = false;
  };

  int OpenManager(std::uint32_t access, ServiceHandle* manager) override {
    calls.push_back("OpenManager " + std::to_string(access));
    if (const int code = Injected("OpenManager")) return code;
    *manager = NewHandle("");
    return ERROR_SUCCESS;
  }
  int CreateService(ServiceHandle manager, const ServiceConfig& config, std::uint32_t access,
                    ServiceHandle* service) override {
    calls.push_back("CreateService " + config.name + " " + std::to_string(access));
    if (const int code = Injected("CreateService")) return code;
    if (!IsManager(manager)) return ERROR_INVALID_HANDLE;
    if (!ValidName(config.name)) return ERROR_INVALID_NAME;
    if (!ValidNumbers(config.serviceType, config.startType, config.errorControl, false) ||
        config.imagePath.empty()) {
      return ERROR_INVALID_PARAMETER;
    }
    if (Service* existing = Find(config.name)) {
      return existing->markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS;
    }
    Service created;
    created.config = config;
    created.status.serviceType = config.serviceType;
    services[FoldRegistryName(config.name)] = created;
    *service = NewHandle(config.name);
    return ERROR_SUCCESS;
  }
  int OpenService(ServiceHandle manager, const std::string& name, std::uint32_t access,
                  ServiceHandle* service) override {
    calls.push_back("OpenService " + name + " " + std::to_string(access));
    if (const int code = Injected("OpenService")) return code;
    if (!IsManager(manager)) return ERROR_INVALID_HANDLE;
    if (!ValidName(name)) return ERROR_INVALID_NAME;
    if (Find(name) == nullptr) return ERROR_SERVICE_DOES_NOT_EXIST;
    *service = NewHandle(name);
    return ERROR_SUCCESS;
  }
  int CloseServiceHandle(ServiceHandle handle) override {
    const auto it = handles.find(handle);
    calls.push_back("CloseServiceHandle " + (it == handles.end() ? "?" : it->second));
    if (it == handles.end()) return ERROR_INVALID_HANDLE;
    handles.erase(it);
    return ERROR_SUCCESS;
  }
  int DeleteService(ServiceHandle handle) override {
    Service* service = nullptr;
    const int found = Lookup(handle, &service, "DeleteService");
    if (const int code = Injected("DeleteService")) return code;
    if (found != ERROR_SUCCESS) return found;
    if (service->markedForDelete) return ERROR_SERVICE_MARKED_FOR_DELETE;
    if (service->status.currentState != SERVICE_STOPPED) {
      service->markedForDelete = true;
    } else {
      services.erase(FoldRegistryName(service->config.name));
    }
    return ERROR_SUCCESS;
  }
  int StartService(ServiceHandle handle) override {
    Service* service = nullptr;
    const int found = Lookup(handle, &service, "StartService");
    if (const int code = Injected("StartService")) return code;
    if (found != ERROR_SUCCESS) return found;
    if (service->markedForDelete) return ERROR_SERVICE_MARKED_FOR_DELETE;
    if (service->config.startType == SERVICE_DISABLED) return ERROR_SERVICE_DISABLED;
    if (service->status.currentState != SERVICE_STOPPED) return ERROR_SERVICE_ALREADY_RUNNING;
    SetState(*service, startState);
    return ERROR_SUCCESS;
  }
  int ControlService(ServiceHandle handle, std::uint32_t control,
                     ServiceStatusReport* status) override {
    Service* service = nullptr;
    const int found = Lookup(handle, &service, "ControlService", " " + std::to_string(control));
    if (const int code = Injected("ControlService")) return code;
    if (found == ERROR_INVALID_HANDLE) return found;
    if (control < SERVICE_CONTROL_STOP || control > SERVICE_CONTROL_SHUTDOWN) {
      return ERROR_INVALID_SERVICE_CONTROL;
    }
    if (found != ERROR_SUCCESS) return found;
    if (service->status.currentState == SERVICE_STOPPED) return ERROR_SERVICE_NOT_ACTIVE;
    if (control != SERVICE_CONTROL_INTERROGATE && service->status.controlsAccepted == 0) {
      return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    }
    if (ignoredControls.count(control) == 0) {
      if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
        SetState(*service, SERVICE_STOPPED);
      } else if (control == SERVICE_CONTROL_PAUSE) {
        SetState(*service, SERVICE_PAUSED);
      } else if (control == SERVICE_CONTROL_CONTINUE) {
        SetState(*service, SERVICE_RUNNING);
      }
    }
    *status = service->status;
    if (service->markedForDelete && service->status.currentState == SERVICE_STOPPED) {
      services.erase(FoldRegistryName(service->config.name));
    }
    return ERROR_SUCCESS;
  }
  int QueryServiceStatus(ServiceHandle handle, ServiceStatusReport* status) override {
    Service* service = nullptr;
    const int found = Lookup(handle, &service, "QueryServiceStatus");
    if (const int code = Injected("QueryServiceStatus")) return code;
    if (found != ERROR_SUCCESS) return found;
    if (!queryScript.empty()) {
      SetState(*service, queryScript.front());
      queryScript.pop_front();
    }
    *status = service->status;
    return ERROR_SUCCESS;
  }
  int QueryServiceConfig(ServiceHandle handle, ServiceConfig* config) override {
    Service* service = nullptr;
    const int found = Lookup(handle, &service, "QueryServiceConfig");
    if (const int code = Injected("QueryServiceConfig")) return code;
    if (found != ERROR_SUCCESS) return found;
    *config = service->config;
    return ERROR_SUCCESS;
  }
  int ChangeServiceConfig(ServiceHandle handle, std::uint32_t serviceType, std::uint32_t startType,
                          std::uint32_t errorControl, const std::string* imagePath,
                          const std::string* displayName) override {
    Service* service = nullptr;
    const int found = Lookup(handle, &service, "ChangeServiceConfig",
                             " " + std::to_string(serviceType) + " " + std::to_string(startType) +
                                 " " + std::to_string(errorControl));
    if (const int code = Injected("ChangeServiceConfig")) return code;
    if (found == ERROR_INVALID_HANDLE) return found;
    if (!ValidNumbers(serviceType, startType, errorControl, true) ||
        (imagePath != nullptr && imagePath->empty())) {
      return ERROR_INVALID_PARAMETER;
    }
    if (found != ERROR_SUCCESS) return found;
    if (service->markedForDelete) return ERROR_SERVICE_MARKED_FOR_DELETE;
    ServiceConfig& config = service->config;
    if (serviceType != SERVICE_NO_CHANGE) config.serviceType = serviceType;
    if (startType != SERVICE_NO_CHANGE) config.startType = startType;
    if (errorControl != SERVICE_NO_CHANGE) config.errorControl = errorControl;
    if (imagePath != nullptr) config.imagePath = *imagePath;
    if (displayName != nullptr) config.displayName = *displayName;
    return ERROR_SUCCESS;
  }

  // Test helpers.
  Service* Find(const std::string& name) {
    const auto it = services.find(FoldRegistryName(name));
    return it == services.end() ? nullptr : &it->second;
  }
  void Install(const ServiceConfig& config, std::uint32_t state = SERVICE_STOPPED) {
    Service service;
    service.config = config;
    service.status.serviceType = config.serviceType;
    SetState(service, state);
    services[FoldRegistryName(config.name)] = service;
  }
  static void SetState(Service& service, std::uint32_t state) {
    service.status.currentState = state;
    service.status.controlsAccepted =
        state == SERVICE_STOPPED || state == SERVICE_START_PENDING ? 0 : 7;
    service.status.checkPoint = 0;
    service.status.waitHint = 0;
  }

  std::map<std::string, Service> services;  // by folded name
  std::map<ServiceHandle, std::string> handles;
  std::vector<std::string> calls;
  std::map<std::string, int> failures;
  std::uint32_t startState = SERVICE_RUNNING;
  std::set<std::uint32_t> ignoredControls;
  std::deque<std::uint32_t> queryScript;

 private:
  ServiceHandle NewHandle(const std::string& name) {
    handles[nextHandle_] = name;
    return nextHandle_++;
  }
  bool IsManager(ServiceHandle handle) const {
    const auto it = handles.find(handle);
    return it != handles.end() && it->second.empty();
  }
  static bool ValidName(const std::string& name) {
    return !name.empty() && name.size() <= 256 &&
           name.find_first_of(std::string_view("/\\\0", 3)) == std::string::npos;
  }
  static bool ValidNumbers(std::uint32_t serviceType, std::uint32_t startType,
                           std::uint32_t errorControl, bool noChangeAllowed) {
    const auto valid = [&](std::uint32_t value, bool inRange) {
      return inRange || (noChangeAllowed && value == SERVICE_NO_CHANGE);
    };
    return valid(serviceType, serviceType == SERVICE_WIN32_OWN_PROCESS ||
                                  serviceType == SERVICE_WIN32_SHARE_PROCESS) &&
           valid(startType, startType >= SERVICE_AUTO_START && startType <= SERVICE_DISABLED) &&
           valid(errorControl, errorControl <= SERVICE_ERROR_CRITICAL);
  }
  // Records the call; 6 for a handle that is no open service handle, 1060 once its service is
  // deleted.
  int Lookup(ServiceHandle handle, Service** service, const std::string& operation,
             const std::string& details = {}) {
    const auto it = handles.find(handle);
    calls.push_back(operation + " " + (it == handles.end() ? "?" : it->second) + details);
    if (it == handles.end() || it->second.empty()) return ERROR_INVALID_HANDLE;
    *service = Find(it->second);
    return *service == nullptr ? ERROR_SERVICE_DOES_NOT_EXIST : ERROR_SUCCESS;
  }
  int Injected(const std::string& operation) const {
    const auto it = failures.find(operation);
    return it == failures.end() ? 0 : it->second;
  }

  ServiceHandle nextHandle_ = 1;
};

// The service side in memory. StartDispatcher runs ServiceMain on a thread and delivers the
// queued controls on the calling thread, each once the service accepts controls (no longer
// START_PENDING), until it reports STOPPED. Controls may be queued before the dispatcher starts
// or posted from another thread while it runs.
class FakeServiceHost final : public ServiceHost {
 public:
  int StartDispatcher(const std::string& serviceName, ServiceMainFunction serviceMain) override {
    {
      std::lock_guard lock(mutex_);
      dispatchedNames.push_back(serviceName);
      if (!startedByManager) return ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
      dispatching_ = true;
    }
    std::thread main([&] {
      std::string argument = serviceName;
      char* argv[] = {argument.data(), nullptr};
      serviceMain(1, argv);
      std::lock_guard lock(mutex_);
      mainReturned_ = true;
      changed_.notify_all();
    });
    for (;;) {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] {
        return stopped_ || (mainReturned_ && !handler_) ||
               (!pendingControls.empty() && handler_ && Accepting());
      });
      if (stopped_ || (mainReturned_ && !handler_)) break;
      const std::uint32_t control = pendingControls.front();
      pendingControls.pop_front();
      deliveredControls.push_back(control);
      ServiceControlHandler handler = handler_;
      lock.unlock();
      handler(control);
    }
    main.join();
    std::lock_guard lock(mutex_);
    dispatching_ = false;
    return ERROR_SUCCESS;
  }
  ServiceStatusHandle RegisterControlHandler(const std::string& serviceName,
                                             ServiceControlHandler handler) override {
    std::lock_guard lock(mutex_);
    registeredNames.push_back(serviceName);
    if (failRegistration || !handler || !dispatching_) return 0;
    handler_ = std::move(handler);
    changed_.notify_all();
    return 1;
  }
  int SetServiceStatus(ServiceStatusHandle handle, const ServiceStatusReport& status) override {
    std::lock_guard lock(mutex_);
    if (handle != 1 || !dispatching_ || !handler_) return 0;
    if (status.currentState < SERVICE_STOPPED || status.currentState > SERVICE_PAUSED) return 0;
    reports.push_back(status);
    // Even a refused STOPPED ends the dispatcher, so a test of a failing report cannot hang.
    if (status.currentState == SERVICE_STOPPED) stopped_ = true;
    changed_.notify_all();
    if (failReportsFrom >= 0 && static_cast<int>(reports.size()) > failReportsFrom) return 0;
    return 1;
  }
  void PostControl(std::uint32_t control) {
    std::lock_guard lock(mutex_);
    pendingControls.push_back(control);
    changed_.notify_all();
  }
  std::vector<ServiceStatusReport> Reports() {
    std::lock_guard lock(mutex_);
    return reports;
  }
  // True once the service has reported `state`; the bound only keeps a broken service from
  // hanging the test.
  bool WaitForReport(std::uint32_t state) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] {
      return std::any_of(reports.begin(), reports.end(),
                         [&](const ServiceStatusReport& r) { return r.currentState == state; });
    });
  }

  // Set before the dispatcher starts.
  bool startedByManager = true;
  bool failRegistration = false;
  int failReportsFrom = -1;  // reports after this many are refused (0 refuses all)
  std::deque<std::uint32_t> pendingControls;

  // Read after the dispatcher returned (or through Reports while it runs).
  std::vector<std::string> dispatchedNames;
  std::vector<std::string> registeredNames;
  std::vector<ServiceStatusReport> reports;
  std::vector<std::uint32_t> deliveredControls;

 private:
  bool Accepting() const {
    return !reports.empty() && reports.back().currentState != SERVICE_START_PENDING;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  ServiceControlHandler handler_;
  bool dispatching_ = false;
  bool stopped_ = false;
  bool mainReturned_ = false;
};

}  // namespace tamrix::testing
