#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_error.h"

namespace tamrix {

// Value types; the data of every type is kept as the bytes the caller stored.
inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::uint32_t REG_EXPAND_SZ = 2;
inline constexpr std::uint32_t REG_BINARY = 3;
inline constexpr std::uint32_t REG_DWORD = 4;

// Key creation options and the access mask callers pass along (access is not enforced).
inline constexpr std::uint32_t REG_OPTION_NON_VOLATILE = 0;
inline constexpr std::uint32_t REG_OPTION_VOLATILE = 1;
inline constexpr std::uint32_t KEY_READ = 0x20019;
inline constexpr std::uint32_t KEY_ALL_ACCESS = 0xF003F;

// An open key. The two roots are predefined handles that never need opening or closing.
using RegistryKey = std::uint32_t;
inline constexpr RegistryKey HKEY_CURRENT_USER = 0x80000001;
inline constexpr RegistryKey HKEY_LOCAL_MACHINE = 0x80000002;

inline constexpr std::size_t kRegistryNoLimit = std::numeric_limits<std::size_t>::max();

struct RegistryValue {
  std::uint32_t type = 0;
  std::string data;      // empty when the caller's buffer was too small
  std::size_t size = 0;  // length of the stored data, also when it did not fit
};

// The machine's registry: keys named by paths of "\"-separated names that compare without regard
// to ASCII letter case (the spelling of the first creation is kept), each holding named values.
// Every operation returns 0 or an error code from win32_error.h:
//   2    a key or value that does not exist;
//   5    deleting a key that still has subkeys (they must be deleted first), or a root;
//   6    a handle that is not open;
//   87   an empty or malformed path or name, or an unknown option;
//   234  a value longer than the caller's capacity (type and size are still returned);
//   1018 a handle whose key was deleted since it was opened (also when a key of the same name
//        was created again since);
//   1021 a non-volatile key under a volatile one;
//   1460 a change while another process held the registry too long.
// Volatile keys (and their values) live until the emulated machine boots again.
class Registry {
 public:
  virtual ~Registry() = default;

  // Opens subKey below parent, creating it with the given option when missing. Missing keys on
  // the way are created lasting (volatile only below a volatile key). An existing key is opened
  // as it is: the option then has no effect. created, when given, is set when subKey was new.
  virtual int CreateKey(RegistryKey parent, std::string_view subKey, std::uint32_t options,
                        std::uint32_t access, RegistryKey* result, bool* created = nullptr) = 0;
  virtual int OpenKey(RegistryKey parent, std::string_view subKey, std::uint32_t access,
                      RegistryKey* result) = 0;
  virtual int CloseKey(RegistryKey key) = 0;
  // Deletes subKey below parent when it has no subkeys.
  virtual int DeleteKey(RegistryKey parent, std::string_view subKey) = 0;

  virtual int SetValue(RegistryKey key, std::string_view name, std::uint32_t type,
                       std::string_view data) = 0;
  virtual int QueryValue(RegistryKey key, std::string_view name, RegistryValue* value,
                         std::size_t capacity = kRegistryNoLimit) = 0;
  virtual int DeleteValue(RegistryKey key, std::string_view name) = 0;

  // Names of the direct subkeys and of the values, in creation order.
  virtual int ListSubkeys(RegistryKey key, std::vector<std::string>* names) = 0;
  virtual int ListValues(RegistryKey key, std::vector<std::string>* names) = 0;

  // Runs op with the registry held, so that the calls op makes on this object are one step for
  // every other process and thread: they see all of a write batch or none of it. A write batch's
  // changes land only when op returns 0; otherwise none does, and op's code is returned. Inside a
  // read batch a change answers 5. A batch inside a batch joins it.
  virtual int Atomically(bool write, const std::function<int()>& op) = 0;
};

// Closes a key when it goes out of scope, so no path of a caller leaves one open.
class ScopedRegistryKey {
 public:
  explicit ScopedRegistryKey(Registry& registry) : registry_(registry) {}
  ScopedRegistryKey(const ScopedRegistryKey&) = delete;
  ScopedRegistryKey& operator=(const ScopedRegistryKey&) = delete;
  ~ScopedRegistryKey() {
    if (key_ != 0) registry_.CloseKey(key_);
  }
  RegistryKey* out() { return &key_; }
  RegistryKey get() const { return key_; }
  bool open() const { return key_ != 0; }

 private:
  Registry& registry_;
  RegistryKey key_ = 0;
};

// Data helpers: strings are stored with their terminating NUL, DWORDs as four little-endian bytes.
std::string RegistryStringData(std::string_view text);
std::string RegistryDwordData(std::uint32_t value);
// The text of string data up to its first NUL.
std::string RegistryStringFrom(std::string_view data);
// The number in DWORD data; false when the data is not four bytes long.
bool RegistryDwordFrom(std::string_view data, std::uint32_t* value);

}  // namespace tamrix
