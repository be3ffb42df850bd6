#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/registry_hive.h"

namespace tamrix::testing {

// The registry in memory, with the real key and value rules. Every call is recorded as one line
// ("SetValue HKEY_LOCAL_MACHINE\SOFTWARE\X TAMRIXs 1"), and a call can be made to fail: a
// failure names the operation and, optionally, a text the key path must contain.
class FakeRegistry final : public HiveRegistry {
 public:
  struct Failure {
    std::string operation;  // "CreateKey", "OpenKey", "SetValue", ...
    std::string pathContains;
    int code = ERROR_ACCESS_DENIED;
  };

  int CreateKey(RegistryKey parent, std::string_view subKey, std::uint32_t options,
                std::uint32_t access, RegistryKey* result, bool* created = nullptr) override {
    const std::string path = Describe(parent, subKey);
    calls.push_back("CreateKey " + path + " " + std::to_string(options));
    if (const int code = Injected("CreateKey", path)) return code;
    return HiveRegistry::CreateKey(parent, subKey, options, access, result, created);
  }
  int OpenKey(RegistryKey parent, std::string_view subKey, std::uint32_t access,
              RegistryKey* result) override {
    const std::string path = Describe(parent, subKey);
    calls.push_back("OpenKey " + path);
    if (const int code = Injected("OpenKey", path)) return code;
    return HiveRegistry::OpenKey(parent, subKey, access, result);
  }
  int CloseKey(RegistryKey key) override {
    calls.push_back("CloseKey " + Describe(key, {}));
    return HiveRegistry::CloseKey(key);
  }
  int DeleteKey(RegistryKey parent, std::string_view subKey) override {
    const std::string path = Describe(parent, subKey);
    calls.push_back("DeleteKey " + path);
    if (const int code = Injected("DeleteKey", path)) return code;
    return HiveRegistry::DeleteKey(parent, subKey);
  }
  int SetValue(RegistryKey key, std::string_view name, std::uint32_t type,
               std::string_view data) override {
    const std::string path = Describe(key, {});
    calls.push_back("SetValue " + path + " " + std::string(name) + " " + std::to_string(type));
    if (const int code = Injected("SetValue", path)) return code;
    return HiveRegistry::SetValue(key, name, type, data);
  }
  int QueryValue(RegistryKey key, std::string_view name, RegistryValue* value,
                 std::size_t capacity = kRegistryNoLimit) override {
    const std::string path = Describe(key, {});
    calls.push_back("QueryValue " + path + " " + std::string(name));
    if (const int code = Injected("QueryValue", path)) return code;
    return HiveRegistry::QueryValue(key, name, value, capacity);
  }
  int DeleteValue(RegistryKey key, std::string_view name) override {
    const std::string path = Describe(key, {});
    calls.push_back("DeleteValue " + path + " " + std::string(name));
    if (const int code = Injected("DeleteValue", path)) return code;
    return HiveRegistry::DeleteValue(key, name);
  }

  // Drops the volatile keys, as the next start of the machine does.
  void SimulateBoot() {
    const std::string lasting = hive.Serialize(false);
    hive.Clear();
    hive.Load(lasting, false);
  }
  bool HasKey(std::string_view fullPath) const { return hive.HasKey(fullPath); }
  std::optional<RegistryValue> Value(std::string_view fullPath, std::string_view name) const {
    RegistryValue value;
    if (hive.QueryValue(fullPath, name, &value, kRegistryNoLimit) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    return value;
  }
  // Seeds a value, creating its key (not recorded).
  void Put(std::string_view fullPath, std::string_view name, std::uint32_t type,
           std::string_view data) {
    hive.CreateKey(fullPath, false, nullptr);
    hive.SetValue(fullPath, name, type, data);
  }

  RegistryHive hive;
  std::vector<std::string> calls;
  std::vector<Failure> failures;

 protected:
  int Transact(bool /*write*/, const std::function<int(RegistryHive&)>& op) override {
    return op(hive);
  }

 private:
  std::string Describe(RegistryKey key, std::string_view subKey) const {
    std::string path;
    if (PathOf(key, &path) != ERROR_SUCCESS) path = "<handle " + std::to_string(key) + ">";
    if (!subKey.empty()) path += "\\" + std::string(subKey);
    return path;
  }
  int Injected(const std::string& operation, const std::string& path) const {
    for (const Failure& failure : failures) {
      if (failure.operation == operation && path.find(failure.pathContains) != std::string::npos) {
        return failure.code;
      }
    }
    return 0;
  }
};

}  // namespace tamrix::testing
