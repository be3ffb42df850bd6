#include "platform/posix/posix_service_manager.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/posix/detached_process.h"
#include "platform/posix/file_lock.h"
#include "platform/posix/operator_access.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/unique_fd.h"
#include "platform/registry_hive.h"

namespace tamrix {
namespace {

constexpr int kPollMilliseconds = 5;

std::string ServiceKeyPath(const std::string& name) {
  return std::string(kServicesKeyPath) + "\\" + name;
}

bool ValidServiceName(const std::string& name) {
  return !name.empty() && name.size() <= 256 && name.find('/') == std::string::npos &&
         name.find('\\') == std::string::npos && name.find('\0') == std::string::npos;
}

std::string ReadString(Registry& registry, RegistryKey key, const char* name) {
  RegistryValue value;
  if (registry.QueryValue(key, name, &value) != ERROR_SUCCESS) return {};
  if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) return {};
  return RegistryStringFrom(value.data);
}

bool ReadDword(Registry& registry, RegistryKey key, const char* name, std::uint32_t* number) {
  RegistryValue value;
  return registry.QueryValue(key, name, &value) == ERROR_SUCCESS && value.type == REG_DWORD &&
         RegistryDwordFrom(value.data, number);
}

std::uint32_t ControlNeeds(std::uint32_t control) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
      return SERVICE_ACCEPT_STOP;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
      return SERVICE_ACCEPT_PAUSE_CONTINUE;
    case SERVICE_CONTROL_SHUTDOWN:
      return SERVICE_ACCEPT_SHUTDOWN;
    default:
      return 0;
  }
}

void PauseBriefly() {
  std::this_thread::sleep_for(std::chrono::milliseconds(kPollMilliseconds));
}

// Deletes the service's registry key with everything below it.
int DeleteServiceKey(Registry& registry, const std::string& name) {
  // Keys go from the leaves up: a key with subkeys cannot be deleted.
  ScopedRegistryKey key(registry);
  const std::string path = ServiceKeyPath(name);
  if (const int code = registry.OpenKey(HKEY_LOCAL_MACHINE, path, KEY_ALL_ACCESS, key.out());
      code != ERROR_SUCCESS) {
    return code;
  }
  std::vector<std::string> children;
  registry.ListSubkeys(key.get(), &children);
  for (const std::string& child : children) {
    if (const int code = DeleteServiceKey(registry, name + "\\" + child); code != ERROR_SUCCESS) {
      return code;
    }
  }
  return registry.DeleteKey(HKEY_LOCAL_MACHINE, path);
}

bool MarkedForDelete(Registry& registry, const std::string& name) {
  ScopedRegistryKey key(registry);
  if (registry.OpenKey(HKEY_LOCAL_MACHINE, ServiceKeyPath(name), KEY_READ, key.out()) !=
      ERROR_SUCCESS) {
    return false;
  }
  std::uint32_t flag = 0;
  return ReadDword(registry, key.get(), "DeleteFlag", &flag) && flag != 0;
}

}  // namespace

bool CompletePendingDelete(Registry& registry, const MachinePaths& paths, const std::string& name) {
  // Nearly every call finds nothing marked; a plain read settles those without the writers' lock.
  if (!MarkedForDelete(registry, name)) return false;
  bool deleted = false;
  registry.Atomically(true, [&] {
    if (!MarkedForDelete(registry, name) || ServiceRunsOrStarts(paths, name)) {
      return ERROR_SUCCESS;
    }
    const int code = DeleteServiceKey(registry, name);
    deleted = code == ERROR_SUCCESS;
    return code;
  });
  return deleted;
}

PosixServiceManager::PosixServiceManager(MachinePaths paths, Registry& registry)
    : paths_(std::move(paths)), registry_(registry) {}

void PosixServiceManager::SetTimeouts(int startMilliseconds, int controlMilliseconds) {
  startTimeoutMs_ = startMilliseconds;
  controlTimeoutMs_ = controlMilliseconds;
}

ServiceHandle PosixServiceManager::AddHandle(Handle handle) {
  while (nextHandle_ == 0 || handles_.count(nextHandle_) != 0) ++nextHandle_;
  const ServiceHandle id = nextHandle_++;
  handles_.emplace(id, std::move(handle));
  return id;
}

int PosixServiceManager::ServiceName(ServiceHandle handle, std::string* name) const {
  const auto it = handles_.find(handle);
  if (it == handles_.end() || it->second.isManager) return ERROR_INVALID_HANDLE;
  *name = it->second.name;
  return ERROR_SUCCESS;
}

int PosixServiceManager::ReadConfig(const std::string& name, ServiceConfig* config,
                                    bool* markedForDelete) {
  // One read batch: a registration being written or deleted is seen whole or not at all.
  return registry_.Atomically(false, [&] {
    ScopedRegistryKey key(registry_);
    if (registry_.OpenKey(HKEY_LOCAL_MACHINE, ServiceKeyPath(name), KEY_READ, key.out()) !=
        ERROR_SUCCESS) {
      return ERROR_SERVICE_DOES_NOT_EXIST;
    }
    // Keys below Services that are not services (the event log's, say) have no program.
    ServiceConfig read;
    read.imagePath = ReadString(registry_, key.get(), "ImagePath");
    if (read.imagePath.empty() || !ReadDword(registry_, key.get(), "Type", &read.serviceType)) {
      return ERROR_SERVICE_DOES_NOT_EXIST;
    }
    // The registered spelling of the name is the key's own.
    std::vector<std::string> names;
    ScopedRegistryKey services(registry_);
    read.name = name;
    if (registry_.OpenKey(HKEY_LOCAL_MACHINE, kServicesKeyPath, KEY_READ, services.out()) ==
            ERROR_SUCCESS &&
        registry_.ListSubkeys(services.get(), &names) == ERROR_SUCCESS) {
      for (const std::string& candidate : names) {
        if (FoldRegistryName(candidate) == FoldRegistryName(name)) read.name = candidate;
      }
    }
    read.displayName = ReadString(registry_, key.get(), "DisplayName");
    if (read.displayName.empty()) read.displayName = read.name;
    ReadDword(registry_, key.get(), "Start", &read.startType);
    ReadDword(registry_, key.get(), "ErrorControl", &read.errorControl);
    read.account = ReadString(registry_, key.get(), "ObjectName");
    std::uint32_t flag = 0;
    if (markedForDelete != nullptr) {
      *markedForDelete = ReadDword(registry_, key.get(), "DeleteFlag", &flag) && flag != 0;
    }
    *config = std::move(read);
    return ERROR_SUCCESS;
  });
}

ServiceStatusReport PosixServiceManager::CurrentStatus(const std::string& name,
                                                       const ServiceConfig& config) {
  if (const auto live = LiveServiceStatus(paths_, name)) return live->status;
  ServiceStatusReport stopped;
  stopped.serviceType = config.serviceType;
  PosixFileSystem files;
  if (const auto text = files.ReadFile(ServiceStatusPath(paths_, name))) {
    if (const auto last = ParsePublishedStatus(*text)) {
      // A process that ended without reporting STOPPED was killed or crashed.
      stopped.win32ExitCode = last->status.currentState == SERVICE_STOPPED
                                  ? last->status.win32ExitCode
                                  : static_cast<std::uint32_t>(ERROR_PROCESS_ABORTED);
      stopped.serviceSpecificExitCode = last->status.serviceSpecificExitCode;
    }
  }
  return stopped;
}

int PosixServiceManager::OpenManager(std::uint32_t access, ServiceHandle* manager) {
  (void)access;
  *manager = AddHandle(Handle{true, {}});
  return ERROR_SUCCESS;
}

int PosixServiceManager::CloseServiceHandle(ServiceHandle handle) {
  return handles_.erase(handle) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

int PosixServiceManager::CreateService(ServiceHandle manager, const ServiceConfig& config,
                                       std::uint32_t /*access*/, ServiceHandle* service) {
  const auto it = handles_.find(manager);
  if (it == handles_.end() || !it->second.isManager) return ERROR_INVALID_HANDLE;
  if (!ValidServiceName(config.name)) return ERROR_INVALID_NAME;
  if ((config.serviceType != SERVICE_WIN32_OWN_PROCESS &&
       config.serviceType != SERVICE_WIN32_SHARE_PROCESS) ||
      config.startType < SERVICE_AUTO_START || config.startType > SERVICE_DISABLED ||
      config.errorControl > SERVICE_ERROR_CRITICAL || config.imagePath.empty()) {
    return ERROR_INVALID_PARAMETER;
  }
  CompletePendingDelete(registry_, paths_, config.name);
  const std::string displayName = config.displayName.empty() ? config.name : config.displayName;
  const std::string account = config.account.empty() ? "LocalSystem" : config.account;
  const struct {
    const char* name;
    std::uint32_t type;
    std::string data;
  } values[] = {
      {"Type", REG_DWORD, RegistryDwordData(config.serviceType)},
      {"Start", REG_DWORD, RegistryDwordData(config.startType)},
      {"ErrorControl", REG_DWORD, RegistryDwordData(config.errorControl)},
      {"ImagePath", REG_EXPAND_SZ, RegistryStringData(config.imagePath)},
      {"DisplayName", REG_SZ, RegistryStringData(displayName)},
      {"ObjectName", REG_SZ, RegistryStringData(account)},
  };
  // The check and the seven writes are one batch: nobody sees a registration half written, and
  // one that fails part-way leaves nothing behind.
  const int code = registry_.Atomically(true, [&] {
    ScopedRegistryKey key(registry_);
    if (registry_.OpenKey(HKEY_LOCAL_MACHINE, ServiceKeyPath(config.name), KEY_READ, key.out()) ==
        ERROR_SUCCESS) {
      return MarkedForDelete(registry_, config.name) ? ERROR_SERVICE_MARKED_FOR_DELETE
                                                     : ERROR_SERVICE_EXISTS;
    }
    int result = registry_.CreateKey(HKEY_LOCAL_MACHINE, ServiceKeyPath(config.name),
                                     REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, key.out());
    for (const auto& value : values) {
      if (result != ERROR_SUCCESS) break;
      result = registry_.SetValue(key.get(), value.name, value.type, value.data);
    }
    return result;
  });
  if (code != ERROR_SUCCESS) return code;
  *service = AddHandle(Handle{false, config.name});
  return ERROR_SUCCESS;
}

int PosixServiceManager::OpenService(ServiceHandle manager, const std::string& name,
                                     std::uint32_t /*access*/, ServiceHandle* service) {
  const auto it = handles_.find(manager);
  if (it == handles_.end() || !it->second.isManager) return ERROR_INVALID_HANDLE;
  if (!ValidServiceName(name)) return ERROR_INVALID_NAME;
  if (CompletePendingDelete(registry_, paths_, name)) return ERROR_SERVICE_DOES_NOT_EXIST;
  ServiceConfig config;
  if (const int code = ReadConfig(name, &config, nullptr); code != ERROR_SUCCESS) return code;
  *service = AddHandle(Handle{false, config.name});
  return ERROR_SUCCESS;
}

int PosixServiceManager::DeleteService(ServiceHandle service) {
  std::string name;
  if (const int code = ServiceName(service, &name); code != ERROR_SUCCESS) return code;
  return registry_.Atomically(true, [&] {
    ServiceConfig config;
    bool marked = false;
    if (const int code = ReadConfig(name, &config, &marked); code != ERROR_SUCCESS) return code;
    if (marked) return ERROR_SERVICE_MARKED_FOR_DELETE;
    if (!ServiceRunsOrStarts(paths_, name)) return DeleteServiceKey(registry_, name);
    ScopedRegistryKey key(registry_);
    int code = registry_.OpenKey(HKEY_LOCAL_MACHINE, ServiceKeyPath(name), KEY_ALL_ACCESS,
                                 key.out());
    if (code == ERROR_SUCCESS) {
      code = registry_.SetValue(key.get(), "DeleteFlag", REG_DWORD, RegistryDwordData(1));
    }
    return code;
  });
}

int PosixServiceManager::WaitForConnect(const std::string& name, pid_t pid) {
  PosixFileSystem files;
  const auto connected = [&] {
    const auto text = files.ReadFile(ServiceStatusPath(paths_, name));
    const auto published = text ? ParsePublishedStatus(*text) : std::nullopt;
    return published && published->pid == pid;
  };
  for (int waited = 0; waited <= startTimeoutMs_; waited += kPollMilliseconds) {
    if (connected()) return ERROR_SUCCESS;
    if (!LiveProcessStartTime(pid)) return connected() ? ERROR_SUCCESS : ERROR_SERVICE_REQUEST_TIMEOUT;
    PauseBriefly();
  }
  return ERROR_SERVICE_REQUEST_TIMEOUT;
}

int PosixServiceManager::StartService(ServiceHandle service) {
  std::string name;
  if (const int code = ServiceName(service, &name); code != ERROR_SUCCESS) return code;
  if (CompletePendingDelete(registry_, paths_, name)) return ERROR_SERVICE_DOES_NOT_EXIST;

  // Two managers starting the same service at once must not both launch it, and a deletion
  // decided while the lock is held waits for the service to stop (ServiceRunsOrStarts): so the
  // registration is read only once the lock is held.
  const std::string runDirectory = ServiceRunDirectory(paths_, name);
  if (!MakeOperatorFolder(paths_.RunDirectory()) || !MakeOperatorFolder(runDirectory)) {
    return ERROR_ACCESS_DENIED;
  }
  UniqueFd lock(::open((runDirectory + "/start.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!lock.valid()) return ERROR_ACCESS_DENIED;
  ShareWithOperators(lock.get());
  // Another start holds it for as long as its program takes to connect, and no longer.
  if (const int code = LockWithin(lock.get(), startTimeoutMs_); code != ERROR_SUCCESS) return code;

  ServiceConfig config;
  bool marked = false;
  if (const int code = ReadConfig(name, &config, &marked); code != ERROR_SUCCESS) return code;
  if (marked) return ERROR_SERVICE_MARKED_FOR_DELETE;
  if (config.startType == SERVICE_DISABLED) return ERROR_SERVICE_DISABLED;
  const auto live = LiveServiceStatus(paths_, name);
  if (live && live->status.currentState != SERVICE_STOPPED) return ERROR_SERVICE_ALREADY_RUNNING;

  std::vector<std::pair<std::string, std::string>> set{{kServiceNameVariable, config.name}};
  std::vector<std::string> remove;
  if (paths_.root.empty()) {
    remove.push_back("TAMRIX_SYSROOT");
  } else {
    set.emplace_back("TAMRIX_SYSROOT", paths_.root);
  }
  pid_t pid = 0;
  const int error = LaunchDetached(HostProgramPath(config.imagePath), EnvironmentWith(set, remove), &pid);
  if (error != 0) return LaunchErrorCode(error);
  return WaitForConnect(name, pid);
}

int PosixServiceManager::SendControl(const std::string& name, std::uint32_t control,
                                     ServiceStatusReport* status) {
  const std::string path = ServiceControlSocketPath(paths_, name);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return ERROR_SERVICE_REQUEST_TIMEOUT;
  path.copy(address.sun_path, path.size());
  UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket.valid()) return ERROR_SERVICE_REQUEST_TIMEOUT;
  timeval timeout{};
  timeout.tv_sec = controlTimeoutMs_ / 1000;
  timeout.tv_usec = (controlTimeoutMs_ % 1000) * 1000;
  ::setsockopt(socket.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  ::setsockopt(socket.get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return LiveServiceStatus(paths_, name) ? ERROR_SERVICE_REQUEST_TIMEOUT
                                           : ERROR_SERVICE_NOT_ACTIVE;
  }
  unsigned char request[4];
  for (int i = 0; i < 4; ++i) request[i] = static_cast<unsigned char>((control >> (8 * i)) & 0xFF);
  if (::send(socket.get(), request, sizeof request, MSG_NOSIGNAL) != sizeof request) {
    return ERROR_SERVICE_REQUEST_TIMEOUT;
  }
  std::array<unsigned char, kStatusWireSize> answer{};
  std::size_t received = 0;
  while (received < answer.size()) {
    const ssize_t n = ::recv(socket.get(), answer.data() + received, answer.size() - received, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return ERROR_SERVICE_REQUEST_TIMEOUT;
    received += static_cast<std::size_t>(n);
  }
  *status = DecodeStatus(answer);
  return ERROR_SUCCESS;
}

int PosixServiceManager::ControlService(ServiceHandle service, std::uint32_t control,
                                        ServiceStatusReport* status) {
  std::string name;
  if (const int code = ServiceName(service, &name); code != ERROR_SUCCESS) return code;
  if (control < SERVICE_CONTROL_STOP || control > SERVICE_CONTROL_SHUTDOWN) {
    return ERROR_INVALID_SERVICE_CONTROL;
  }
  ServiceConfig config;
  if (const int code = ReadConfig(name, &config, nullptr); code != ERROR_SUCCESS) return code;
  const auto live = LiveServiceStatus(paths_, name);
  if (!live || live->status.currentState == SERVICE_STOPPED) {
    *status = CurrentStatus(name, config);
    return ERROR_SERVICE_NOT_ACTIVE;
  }
  const std::uint32_t needs = ControlNeeds(control);
  if (needs != 0 && (live->status.controlsAccepted & needs) == 0) {
    *status = live->status;
    return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
  }
  return SendControl(name, control, status);
}

int PosixServiceManager::QueryServiceStatus(ServiceHandle service, ServiceStatusReport* status) {
  std::string name;
  if (const int code = ServiceName(service, &name); code != ERROR_SUCCESS) return code;
  ServiceConfig config;
  if (const int code = ReadConfig(name, &config, nullptr); code != ERROR_SUCCESS) return code;
  *status = CurrentStatus(name, config);
  return ERROR_SUCCESS;
}

int PosixServiceManager::QueryServiceConfig(ServiceHandle service, ServiceConfig* config) {
  std::string name;
  if (const int code = ServiceName(service, &name); code != ERROR_SUCCESS) return code;
  return ReadConfig(name, config, nullptr);
}

int PosixServiceManager::ChangeServiceConfig(ServiceHandle service, std::uint32_t serviceType,
                                             std::uint32_t startType, std::uint32_t errorControl,
                                             const std::string* imagePath,
                                             const std::string* displayName) {
  std::string name;
  if (const int code = ServiceName(service, &name); code != ERROR_SUCCESS) return code;
  const bool typeOk = serviceType == SERVICE_NO_CHANGE ||
                      serviceType == SERVICE_WIN32_OWN_PROCESS ||
                      serviceType == SERVICE_WIN32_SHARE_PROCESS;
  const bool startOk = startType == SERVICE_NO_CHANGE ||
                       (startType >= SERVICE_AUTO_START && startType <= SERVICE_DISABLED);
  const bool errorOk = errorControl == SERVICE_NO_CHANGE || errorControl <= SERVICE_ERROR_CRITICAL;
  if (!typeOk || !startOk || !errorOk || (imagePath != nullptr && imagePath->empty())) {
    return ERROR_INVALID_PARAMETER;
  }
  return registry_.Atomically(true, [&] {
    ServiceConfig config;
    bool marked = false;
    int code = ReadConfig(name, &config, &marked);
    if (code != ERROR_SUCCESS) return code;
    if (marked) return ERROR_SERVICE_MARKED_FOR_DELETE;
    ScopedRegistryKey key(registry_);
    code = registry_.OpenKey(HKEY_LOCAL_MACHINE, ServiceKeyPath(name), KEY_ALL_ACCESS, key.out());
    const auto setDword = [&](const char* value, std::uint32_t number) {
      if (code == ERROR_SUCCESS && number != SERVICE_NO_CHANGE) {
        code = registry_.SetValue(key.get(), value, REG_DWORD, RegistryDwordData(number));
      }
    };
    const auto setText = [&](const char* value, std::uint32_t type, const std::string* text) {
      if (code == ERROR_SUCCESS && text != nullptr) {
        code = registry_.SetValue(key.get(), value, type, RegistryStringData(*text));
      }
    };
    setDword("Type", serviceType);
    setDword("Start", startType);
    setDword("ErrorControl", errorControl);
    setText("ImagePath", REG_EXPAND_SZ, imagePath);
    setText("DisplayName", REG_SZ, displayName);
    return code;
  });
}

}  // namespace tamrix
