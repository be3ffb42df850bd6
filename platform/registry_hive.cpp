#include "platform/registry_hive.h"

#include <algorithm>
#include <cstdio>
#include <random>

namespace tamrix {
namespace {

constexpr std::string_view kLocalMachine = "HKEY_LOCAL_MACHINE";
constexpr std::string_view kIdLinePrefix = ";id ";
constexpr std::string_view kCurrentUser = "HKEY_CURRENT_USER";

bool IsRoot(std::string_view name) {
  const std::string folded = FoldRegistryName(name);
  return folded == FoldRegistryName(kLocalMachine) || folded == FoldRegistryName(kCurrentUser);
}

// The parent's full path, or empty for a root.
std::string_view ParentOf(std::string_view path) {
  const std::size_t cut = path.rfind('\\');
  return cut == std::string_view::npos ? std::string_view() : path.substr(0, cut);
}

bool ValidFullPath(std::string_view path) {
  const std::size_t cut = path.find('\\');
  if (cut == std::string_view::npos || !IsRoot(path.substr(0, cut))) return false;
  std::string rest;
  return JoinRegistryPath(path.substr(0, cut), path.substr(cut + 1), &rest);
}

bool NeedsEscape(unsigned char c) {
  return c < 0x20 || c > 0x7E || c == '%' || c == '"' || c == '[' || c == ']';
}

std::string Escape(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (NeedsEscape(c)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += ch;
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Unescape(std::string_view text, std::string* out) {
  out->clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      if (NeedsEscape(static_cast<unsigned char>(text[i]))) return false;
      *out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int high = HexDigit(text[i + 1]);
    const int low = HexDigit(text[i + 2]);
    if (high < 0 || low < 0) return false;
    *out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return true;
}

std::string HexBytes(std::string_view data) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const char ch : data) {
    const auto c = static_cast<unsigned char>(ch);
    out += kHex[c >> 4];
    out += kHex[c & 0x0F];
  }
  return out;
}

bool ParseHexBytes(std::string_view text, std::string* out) {
  if (text.size() % 2 != 0) return false;
  out->clear();
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = HexDigit(text[i]);
    const int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    *out += static_cast<char>(high * 16 + low);
  }
  return true;
}

// A quoted, escaped text at the front of *rest; the cursor moves past the closing quote.
bool TakeQuoted(std::string_view* rest, std::string* out) {
  if (rest->empty() || rest->front() != '"') return false;
  const std::size_t close = rest->find('"', 1);
  if (close == std::string_view::npos) return false;
  if (!Unescape(rest->substr(1, close - 1), out)) return false;
  rest->remove_prefix(close + 1);
  return true;
}

bool TakePrefix(std::string_view* rest, std::string_view prefix) {
  if (rest->substr(0, prefix.size()) != prefix) return false;
  rest->remove_prefix(prefix.size());
  return true;
}

bool ParseDecimalType(std::string_view text, std::uint32_t* type) {
  if (text.empty() || text.size() > 10) return false;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value > 0xFFFFFFFFu) return false;
  *type = static_cast<std::uint32_t>(value);
  return true;
}

std::string FormatValue(std::uint32_t type, std::string_view data) {
  std::uint32_t dword = 0;
  if (type == REG_SZ) return "sz:\"" + Escape(data) + "\"";
  if (type == REG_EXPAND_SZ) return "expand_sz:\"" + Escape(data) + "\"";
  if (type == REG_BINARY) return "binary:" + HexBytes(data);
  if (type == REG_DWORD && RegistryDwordFrom(data, &dword)) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(dword));
    return std::string("dword:") + text;
  }
  return "hex(" + std::to_string(type) + "):" + HexBytes(data);
}

// 64 random bits, never 0: two processes creating keys need no counter between them.
std::uint64_t NewKeyId() {
  static std::mutex mutex;
  static std::mt19937_64 engine{[] {
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) ^ device();
  }()};
  std::lock_guard lock(mutex);
  std::uint64_t id = 0;
  while (id == 0) id = engine();
  return id;
}

bool ParseKeyId(std::string_view text, std::uint64_t* id) {
  std::string bytes;
  if (text.size() != 16 || !ParseHexBytes(text, &bytes)) return false;
  std::uint64_t number = 0;
  for (const char c : bytes) number = (number << 8) | static_cast<unsigned char>(c);
  *id = number;
  return number != 0;
}

}  // namespace

std::string FoldRegistryName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

std::string_view RegistryRootName(RegistryKey key) {
  if (key == HKEY_LOCAL_MACHINE) return kLocalMachine;
  if (key == HKEY_CURRENT_USER) return kCurrentUser;
  return {};
}

bool JoinRegistryPath(std::string_view parentPath, std::string_view subKey, std::string* path) {
  if (subKey.empty() || subKey.front() == '\\' || subKey.back() == '\\') return false;
  if (subKey.find("\\\\") != std::string_view::npos) return false;
  *path = std::string(parentPath) + "\\" + std::string(subKey);
  return true;
}

RegistryHive::Key* RegistryHive::Find(std::string_view path) {
  const auto it = keys_.find(FoldRegistryName(path));
  return it == keys_.end() ? nullptr : &it->second;
}

const RegistryHive::Key* RegistryHive::Find(std::string_view path) const {
  const auto it = keys_.find(FoldRegistryName(path));
  return it == keys_.end() ? nullptr : &it->second;
}

bool RegistryHive::HasKey(std::string_view path) const {
  if (path.find('\\') == std::string_view::npos) return IsRoot(path);
  return Find(path) != nullptr;
}

std::optional<std::uint64_t> RegistryHive::KeyId(std::string_view path) const {
  if (path.find('\\') == std::string_view::npos) {
    return IsRoot(path) ? std::optional<std::uint64_t>(0) : std::nullopt;
  }
  const Key* key = Find(path);
  return key == nullptr ? std::nullopt : std::optional<std::uint64_t>(key->id);
}

int RegistryHive::CreateKey(std::string_view path, bool isVolatile, bool* created) {
  return Create(path, isVolatile, created, true);
}

int RegistryHive::Create(std::string_view path, bool isVolatile, bool* created, bool newIds) {
  if (created != nullptr) *created = false;
  if (!ValidFullPath(path)) return ERROR_INVALID_PARAMETER;
  if (Find(path) != nullptr) return ERROR_SUCCESS;
  // Create from the topmost missing key down; a non-volatile key may not sit under a volatile one.
  std::vector<std::string_view> missing;
  std::string_view cursor = path;
  while (cursor.find('\\') != std::string_view::npos && Find(cursor) == nullptr) {
    missing.push_back(cursor);
    cursor = ParentOf(cursor);
  }
  const Key* existing = cursor.find('\\') == std::string_view::npos ? nullptr : Find(cursor);
  if (existing != nullptr && existing->isVolatile && !isVolatile) {
    return ERROR_CHILD_MUST_BE_VOLATILE;
  }
  // Keys made on the way last unless they sit under a volatile key: on a fresh machine, a
  // volatile "SOFTWARE\VORMEL\TAMRIX" must not take "SOFTWARE" with it at the next boot.
  const bool underVolatile = existing != nullptr && existing->isVolatile;
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    Key key;
    key.path = std::string(*it);
    key.isVolatile = *it == path ? isVolatile : underVolatile;
    key.order = nextOrder_++;
    key.id = newIds ? NewKeyId() : 0;
    keys_.emplace(FoldRegistryName(*it), std::move(key));
  }
  if (created != nullptr) *created = true;
  return ERROR_SUCCESS;
}

std::vector<const RegistryHive::Key*> RegistryHive::Children(std::string_view path) const {
  const std::string prefix = FoldRegistryName(path) + "\\";
  std::vector<const Key*> children;
  for (auto it = keys_.lower_bound(prefix); it != keys_.end(); ++it) {
    if (it->first.compare(0, prefix.size(), prefix) != 0) break;
    if (it->first.find('\\', prefix.size()) == std::string::npos) children.push_back(&it->second);
  }
  std::sort(children.begin(), children.end(),
            [](const Key* a, const Key* b) { return a->order < b->order; });
  return children;
}

int RegistryHive::DeleteKey(std::string_view path) {
  if (path.find('\\') == std::string_view::npos) return ERROR_ACCESS_DENIED;
  if (Find(path) == nullptr) return ERROR_FILE_NOT_FOUND;
  if (!Children(path).empty()) return ERROR_ACCESS_DENIED;
  keys_.erase(FoldRegistryName(path));
  return ERROR_SUCCESS;
}

int RegistryHive::SetValue(std::string_view path, std::string_view name, std::uint32_t type,
                           std::string_view data) {
  Key* key = Find(path);
  if (key == nullptr) return ERROR_FILE_NOT_FOUND;
  const std::string folded = FoldRegistryName(name);
  for (Value& value : key->values) {
    if (FoldRegistryName(value.name) == folded) {
      value.type = type;
      value.data = std::string(data);
      return ERROR_SUCCESS;
    }
  }
  key->values.push_back(Value{std::string(name), type, std::string(data)});
  return ERROR_SUCCESS;
}

int RegistryHive::QueryValue(std::string_view path, std::string_view name, RegistryValue* result,
                             std::size_t capacity) const {
  const Key* key = Find(path);
  if (key == nullptr) return ERROR_FILE_NOT_FOUND;
  const std::string folded = FoldRegistryName(name);
  for (const Value& value : key->values) {
    if (FoldRegistryName(value.name) != folded) continue;
    result->type = value.type;
    result->size = value.data.size();
    if (value.data.size() > capacity) {
      result->data.clear();
      return ERROR_MORE_DATA;
    }
    result->data = value.data;
    return ERROR_SUCCESS;
  }
  return ERROR_FILE_NOT_FOUND;
}

int RegistryHive::DeleteValue(std::string_view path, std::string_view name) {
  Key* key = Find(path);
  if (key == nullptr) return ERROR_FILE_NOT_FOUND;
  const std::string folded = FoldRegistryName(name);
  const auto it = std::find_if(key->values.begin(), key->values.end(), [&](const Value& value) {
    return FoldRegistryName(value.name) == folded;
  });
  if (it == key->values.end()) return ERROR_FILE_NOT_FOUND;
  key->values.erase(it);
  return ERROR_SUCCESS;
}

int RegistryHive::ListSubkeys(std::string_view path, std::vector<std::string>* names) const {
  names->clear();
  if (!HasKey(path)) return ERROR_FILE_NOT_FOUND;
  for (const Key* child : Children(path)) {
    names->push_back(child->path.substr(child->path.rfind('\\') + 1));
  }
  return ERROR_SUCCESS;
}

int RegistryHive::ListValues(std::string_view path, std::vector<std::string>* names) const {
  names->clear();
  if (!HasKey(path)) return ERROR_FILE_NOT_FOUND;
  if (const Key* key = Find(path)) {
    for (const Value& value : key->values) names->push_back(value.name);
  }
  return ERROR_SUCCESS;
}

std::string RegistryHive::Serialize(bool volatileKeys) const {
  std::vector<const Key*> ordered;
  for (const auto& [folded, key] : keys_) {
    if (key.isVolatile == volatileKeys) ordered.push_back(&key);
  }
  std::sort(ordered.begin(), ordered.end(),
            [](const Key* a, const Key* b) { return a->order < b->order; });
  std::string text;
  for (const Key* key : ordered) {
    // Appends rather than chained operator+: GCC 12 reports a false -Wrestrict on the chain.
    text.append("[").append(Escape(key->path)).append("]\n");
    if (key->id != 0) {
      char id[17];
      std::snprintf(id, sizeof id, "%016llx", static_cast<unsigned long long>(key->id));
      text.append(kIdLinePrefix).append(id).append("\n");
    }
    for (const Value& value : key->values) {
      text.append("\"").append(Escape(value.name)).append("\"=");
      text.append(FormatValue(value.type, value.data)).append("\n");
    }
  }
  return text;
}

bool RegistryHive::LoadValueLine(std::string_view line, Key& key) {
  std::string name;
  if (!TakeQuoted(&line, &name) || !TakePrefix(&line, "=")) return false;
  std::uint32_t type = 0;
  std::string data;
  if (TakePrefix(&line, "sz:")) {
    type = REG_SZ;
    if (!TakeQuoted(&line, &data) || !line.empty()) return false;
  } else if (TakePrefix(&line, "expand_sz:")) {
    type = REG_EXPAND_SZ;
    if (!TakeQuoted(&line, &data) || !line.empty()) return false;
  } else if (TakePrefix(&line, "binary:")) {
    type = REG_BINARY;
    if (!ParseHexBytes(line, &data)) return false;
  } else if (TakePrefix(&line, "dword:")) {
    type = REG_DWORD;
    std::string bytes;
    if (line.size() != 8 || !ParseHexBytes(line, &bytes)) return false;
    std::uint32_t number = 0;
    for (const char c : bytes) number = (number << 8) | static_cast<unsigned char>(c);
    data = RegistryDwordData(number);
  } else if (TakePrefix(&line, "hex(")) {
    const std::size_t close = line.find("):");
    if (close == std::string_view::npos || !ParseDecimalType(line.substr(0, close), &type)) {
      return false;
    }
    if (!ParseHexBytes(line.substr(close + 2), &data)) return false;
  } else {
    return false;
  }
  SetValue(key.path, name, type, data);
  return true;
}

int RegistryHive::Load(std::string_view text, bool isVolatile) {
  int skipped = 0;
  std::string currentPath;  // empty while no key line has been read
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.substr(0, kIdLinePrefix.size()) == kIdLinePrefix) {
      // Only a key this file created takes an identity; a bad one leaves the key without.
      Key* key = currentPath.empty() ? nullptr : Find(currentPath);
      std::uint64_t id = 0;
      if (key != nullptr && key->id == 0 && key->isVolatile == isVolatile &&
          ParseKeyId(line.substr(kIdLinePrefix.size()), &id)) {
        key->id = id;
      }
      continue;
    }
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      std::string path;
      currentPath.clear();
      if (line.size() < 2 || line.back() != ']' ||
          !Unescape(line.substr(1, line.size() - 2), &path) || !ValidFullPath(path)) {
        ++skipped;
        continue;
      }
      // A key of the other file keeps its own flag; the first file read wins.
      if (Find(path) == nullptr) {
        const int result = Create(path, isVolatile, nullptr, false);
        if (result != ERROR_SUCCESS) {
          ++skipped;
          continue;
        }
      }
      currentPath = path;
      continue;
    }
    Key* key = currentPath.empty() ? nullptr : Find(currentPath);
    if (key == nullptr || !LoadValueLine(line, *key)) ++skipped;
  }
  return skipped;
}

void RegistryHive::Clear() {
  keys_.clear();
  nextOrder_ = 1;
}

// ---- handles and batches ---------------------------------------------------------------------

RegistryKey HiveRegistry::AddHandle(std::string path, std::uint64_t id) {
  while (handles_.count(nextHandle_) != 0 || nextHandle_ == 0 || nextHandle_ >= HKEY_CURRENT_USER) {
    nextHandle_ = nextHandle_ >= HKEY_CURRENT_USER ? 0x100 : nextHandle_ + 1;
  }
  const RegistryKey handle = nextHandle_++;
  handles_.emplace(handle, OpenedKey{std::move(path), id});
  return handle;
}

int HiveRegistry::Opened(RegistryKey key, OpenedKey* opened) const {
  if (const std::string_view root = RegistryRootName(key); !root.empty()) {
    *opened = OpenedKey{std::string(root), 0};
    return ERROR_SUCCESS;
  }
  const auto it = handles_.find(key);
  if (it == handles_.end()) return ERROR_INVALID_HANDLE;
  *opened = it->second;
  return ERROR_SUCCESS;
}

int HiveRegistry::PathOf(RegistryKey key, std::string* path) const {
  OpenedKey opened;
  const int code = Opened(key, &opened);
  if (code == ERROR_SUCCESS) *path = std::move(opened.path);
  return code;
}

int HiveRegistry::Run(bool write, const std::function<int(RegistryHive&)>& op) {
  if (batch_ == nullptr) return Transact(write, op);
  if (write && !batchWrites_) return ERROR_ACCESS_DENIED;
  return op(*batch_);
}

int HiveRegistry::Atomically(bool write, const std::function<int()>& op) {
  std::lock_guard lock(mutex_);
  if (batch_ != nullptr) {
    if (write && !batchWrites_) return ERROR_ACCESS_DENIED;
    return op();
  }
  return Transact(write, [&](RegistryHive& hive) {
    // The batch works on a copy, so a failure part-way leaves the hive as it was.
    RegistryHive copy = hive;
    batch_ = &copy;
    batchWrites_ = write;
    const int code = op();
    batch_ = nullptr;
    if (code == ERROR_SUCCESS && write) hive = std::move(copy);
    return code;
  });
}

int HiveRegistry::OnKey(RegistryKey key, bool write,
                        const std::function<int(RegistryHive&, const std::string&)>& op) {
  OpenedKey opened;
  if (const int result = Opened(key, &opened); result != ERROR_SUCCESS) return result;
  return Run(write, [&](RegistryHive& hive) {
    if (hive.KeyId(opened.path) != opened.id) return ERROR_KEY_DELETED;
    return op(hive, opened.path);
  });
}

int HiveRegistry::CreateKey(RegistryKey parent, std::string_view subKey, std::uint32_t options,
                            std::uint32_t /*access*/, RegistryKey* result, bool* created) {
  std::lock_guard lock(mutex_);
  if (created != nullptr) *created = false;
  if (options > REG_OPTION_VOLATILE) return ERROR_INVALID_PARAMETER;
  OpenedKey parentKey;
  if (const int code = Opened(parent, &parentKey); code != ERROR_SUCCESS) return code;
  std::string path;
  if (!JoinRegistryPath(parentKey.path, subKey, &path)) return ERROR_INVALID_PARAMETER;
  std::uint64_t id = 0;
  const int code = Run(true, [&](RegistryHive& hive) {
    if (hive.KeyId(parentKey.path) != parentKey.id) return ERROR_KEY_DELETED;
    const int made = hive.CreateKey(path, options == REG_OPTION_VOLATILE, created);
    id = hive.KeyId(path).value_or(0);
    return made;
  });
  if (code == ERROR_SUCCESS) *result = AddHandle(path, id);
  return code;
}

int HiveRegistry::OpenKey(RegistryKey parent, std::string_view subKey, std::uint32_t /*access*/,
                          RegistryKey* result) {
  std::lock_guard lock(mutex_);
  OpenedKey parentKey;
  if (const int code = Opened(parent, &parentKey); code != ERROR_SUCCESS) return code;
  std::string path;
  if (!JoinRegistryPath(parentKey.path, subKey, &path)) return ERROR_INVALID_PARAMETER;
  std::uint64_t id = 0;
  const int code = Run(false, [&](RegistryHive& hive) {
    if (hive.KeyId(parentKey.path) != parentKey.id) return ERROR_KEY_DELETED;
    const auto found = hive.KeyId(path);
    if (!found) return ERROR_FILE_NOT_FOUND;
    id = *found;
    return ERROR_SUCCESS;
  });
  if (code == ERROR_SUCCESS) *result = AddHandle(path, id);
  return code;
}

int HiveRegistry::CloseKey(RegistryKey key) {
  std::lock_guard lock(mutex_);
  if (!RegistryRootName(key).empty()) return ERROR_SUCCESS;
  return handles_.erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

int HiveRegistry::DeleteKey(RegistryKey parent, std::string_view subKey) {
  std::lock_guard lock(mutex_);
  OpenedKey parentKey;
  if (const int code = Opened(parent, &parentKey); code != ERROR_SUCCESS) return code;
  std::string path;
  if (!JoinRegistryPath(parentKey.path, subKey, &path)) return ERROR_INVALID_PARAMETER;
  return Run(true, [&](RegistryHive& hive) {
    if (hive.KeyId(parentKey.path) != parentKey.id) return ERROR_KEY_DELETED;
    return hive.DeleteKey(path);
  });
}

int HiveRegistry::SetValue(RegistryKey key, std::string_view name, std::uint32_t type,
                           std::string_view data) {
  std::lock_guard lock(mutex_);
  return OnKey(key, true, [&](RegistryHive& hive, const std::string& path) {
    return hive.SetValue(path, name, type, data);
  });
}

int HiveRegistry::QueryValue(RegistryKey key, std::string_view name, RegistryValue* value,
                             std::size_t capacity) {
  std::lock_guard lock(mutex_);
  return OnKey(key, false, [&](RegistryHive& hive, const std::string& path) {
    return hive.QueryValue(path, name, value, capacity);
  });
}

int HiveRegistry::DeleteValue(RegistryKey key, std::string_view name) {
  std::lock_guard lock(mutex_);
  return OnKey(key, true, [&](RegistryHive& hive, const std::string& path) {
    return hive.DeleteValue(path, name);
  });
}

int HiveRegistry::ListSubkeys(RegistryKey key, std::vector<std::string>* names) {
  std::lock_guard lock(mutex_);
  return OnKey(key, false, [&](RegistryHive& hive, const std::string& path) {
    return hive.ListSubkeys(path, names);
  });
}

int HiveRegistry::ListValues(RegistryKey key, std::vector<std::string>* names) {
  std::lock_guard lock(mutex_);
  return OnKey(key, false, [&](RegistryHive& hive, const std::string& path) {
    return hive.ListValues(path, names);
  });
}

// ---- data helpers ----------------------------------------------------------------------------

std::string RegistryStringData(std::string_view text) {
  std::string data(text);
  data += '\0';
  return data;
}

std::string RegistryDwordData(std::uint32_t value) {
  std::string data(4, '\0');
  for (int i = 0; i < 4; ++i) data[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return data;
}

std::string RegistryStringFrom(std::string_view data) {
  return std::string(data.substr(0, data.find('\0')));
}

bool RegistryDwordFrom(std::string_view data, std::uint32_t* value) {
  if (data.size() != 4) return false;
  std::uint32_t number = 0;
  for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(data[i]);
  *value = number;
  return true;
}

}  // namespace tamrix
