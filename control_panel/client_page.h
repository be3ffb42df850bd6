#pragma once

#include <string>
#include <vector>

#include "control_panel/panel_settings.h"
#include "control_panel/reserve_page.h"
#include "storage/allowed_client_list.h"

namespace tamrix {

class FileSystem;

// Reads TAMRIX.db2 into list (cleared first); a missing file leaves it empty.
void LoadClientList(FileSystem& files, const std::string& path, AllowedClientList& list);
// Writes the list whatever CheckClient is; false when the file could not be replaced.
bool SaveClientList(FileSystem& files, const std::string& path, const AllowedClientList& list);

// CPropertyClient: the CheckClient switch and the allowed-client list. Fields and lines are
// UTF-8; comments in the list stay cp932 bytes.
class ClientPage {
 public:
  static ClientPage Build(const PanelSettings& settings);

  bool checkClient = false;
  std::string clientId, comment;  // fields 1099, 1103
  int selectedRow = -1;           // row of list 1102
  AllowedClientList list;

  // ClientIdText, "\t", comment for each entry.
  std::vector<std::string> ListLines() const;

  bool ListEnabled() const { return checkClient; }  // 1102, 1099 and 1103
  bool AddEnabled() const { return checkClient && !clientId.empty(); }
  bool RemoveEnabled() const { return checkClient && selectedRow >= 0; }

  // A radio click; true when it changed the switch (and so marks the sheet modified).
  bool SetCheckClient(bool on);
  EditResult Add();     // 追加
  EditResult Remove();  // 削除

  void Apply(PanelSettings& settings, PrivateProfile& profile, FileSystem& files,
             const std::string& path) const;
};

}  // namespace tamrix
