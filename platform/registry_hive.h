#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace tamrix {

// The keys and values of the registry in memory, addressed by full paths whose first name is a
// root ("HKEY_LOCAL_MACHINE\SOFTWARE\VORMEL"). It knows nothing of files or handles; the text
// form below is what the file-backed registry keeps on disk.
//
// Text form, one item per line (lines starting with ";" are comments):
//   [HKEY_LOCAL_MACHINE\SOFTWARE\VORMEL]          a key
//   "ImagePath"=expand_sz:"/usr/local/lib%00"     a string value (the stored NUL shows as %00)
//   "Start"=dword:00000002                        four bytes, little-endian
//   "Blob"=binary:00ff10                          REG_BINARY
//   "Odd"=hex(7):6100                             any other type, or a DWORD of another length
//   ;id 5f1c2a9e0b7d4e13                          right after a key line: the key's identity
// Names and strings escape bytes below 0x20, above 0x7E and the characters % " [ ] as %HH. A
// line that does not parse is skipped and counted; reading goes on with the next one.
//
// Every key created gets a random identity, so that a handle can tell its key from a later one
// of the same name. Keys read without one (written before identities existed) keep 0. The
// identity line reads as a comment to older readers, so they still load the file.
class RegistryHive {
 public:
  int CreateKey(std::string_view path, bool isVolatile, bool* created);
  bool HasKey(std::string_view path) const;
  // The identity of the key at path (0 for a root), or nothing when there is none.
  std::optional<std::uint64_t> KeyId(std::string_view path) const;
  int DeleteKey(std::string_view path);
  int SetValue(std::string_view path, std::string_view name, std::uint32_t type,
               std::string_view data);
  int QueryValue(std::string_view path, std::string_view name, RegistryValue* value,
                 std::size_t capacity) const;
  int DeleteValue(std::string_view path, std::string_view name);
  int ListSubkeys(std::string_view path, std::vector<std::string>* names) const;
  int ListValues(std::string_view path, std::vector<std::string>* names) const;

  // The text of the volatile keys or of the others.
  std::string Serialize(bool volatileKeys) const;
  // Adds the keys of text, marked volatile or not; returns the number of lines skipped.
  int Load(std::string_view text, bool isVolatile);
  void Clear();

 private:
  struct Value {
    std::string name;
    std::uint32_t type = 0;
    std::string data;
  };
  struct Key {
    std::string path;
    bool isVolatile = false;
    std::uint64_t order = 0;
    std::uint64_t id = 0;
    std::vector<Value> values;
  };

  // Creates path and the missing keys on the way; identities are drawn only when newIds is set.
  int Create(std::string_view path, bool isVolatile, bool* created, bool newIds);
  Key* Find(std::string_view path);
  const Key* Find(std::string_view path) const;
  std::vector<const Key*> Children(std::string_view path) const;
  bool LoadValueLine(std::string_view line, Key& key);

  std::map<std::string, Key> keys_;  // by folded path; roots are implicit
  std::uint64_t nextOrder_ = 1;
};

// Joins a parent key's full path and a relative subkey path; false when the subkey path is
// empty-named somewhere, starts or ends with "\", or the result would be a bare root.
bool JoinRegistryPath(std::string_view parentPath, std::string_view subKey, std::string* path);
// The root name of a predefined handle, or empty.
std::string_view RegistryRootName(RegistryKey key);
// ASCII lower case: names compare through it.
std::string FoldRegistryName(std::string_view name);

// A registry over a hive, with the handle table and the batches every implementation needs.
// Subclasses decide where the hive comes from and where it goes: Transact runs op on the current
// hive under the right lock and, for writes, keeps the result when op returned 0. One object may
// be shared by the threads of a process: its operations, and its batches, run one at a time.
class HiveRegistry : public Registry {
 public:
  int CreateKey(RegistryKey parent, std::string_view subKey, std::uint32_t options,
                std::uint32_t access, RegistryKey* result, bool* created = nullptr) override;
  int OpenKey(RegistryKey parent, std::string_view subKey, std::uint32_t access,
              RegistryKey* result) override;
  int CloseKey(RegistryKey key) override;
  int DeleteKey(RegistryKey parent, std::string_view subKey) override;
  int SetValue(RegistryKey key, std::string_view name, std::uint32_t type,
               std::string_view data) override;
  int QueryValue(RegistryKey key, std::string_view name, RegistryValue* value,
                 std::size_t capacity = kRegistryNoLimit) override;
  int DeleteValue(RegistryKey key, std::string_view name) override;
  int ListSubkeys(RegistryKey key, std::vector<std::string>* names) override;
  int ListValues(RegistryKey key, std::vector<std::string>* names) override;
  int Atomically(bool write, const std::function<int()>& op) override;

  std::size_t OpenHandleCount() {
    std::lock_guard lock(mutex_);
    return handles_.size();
  }

 protected:
  virtual int Transact(bool write, const std::function<int(RegistryHive&)>& op) = 0;
  // The full path of an open handle or a root; 6 when the handle is not open.
  int PathOf(RegistryKey key, std::string* path) const;

 private:
  struct OpenedKey {
    std::string path;
    std::uint64_t id = 0;  // the identity of the key the handle was opened on
  };

  int Opened(RegistryKey key, OpenedKey* opened) const;
  // Runs op on the hive: in the open batch when there is one, else in a transaction of its own.
  int Run(bool write, const std::function<int(RegistryHive&)>& op);
  // Runs op on the path of an open key that must still be the one opened (1018 otherwise).
  int OnKey(RegistryKey key, bool write,
            const std::function<int(RegistryHive&, const std::string&)>& op);
  RegistryKey AddHandle(std::string path, std::uint64_t id);

  std::recursive_mutex mutex_;  // held for the whole of each operation and batch
  std::map<RegistryKey, OpenedKey> handles_;
  RegistryKey nextHandle_ = 0x100;
  RegistryHive* batch_ = nullptr;  // the hive of the open batch
  bool batchWrites_ = false;
};

}  // namespace tamrix
