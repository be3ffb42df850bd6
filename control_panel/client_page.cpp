#include "control_panel/client_page.h"

#include "common/client_id.h"
#include "control_panel/client_id_text.h"
#include "control_panel/panel_messages.h"
#include "platform/file_system.h"
#include "platform/text_encoding.h"

namespace tamrix {
namespace {

constexpr std::size_t kCommentFieldLength = 78;

}  // namespace

void LoadClientList(FileSystem& files, const std::string& path, AllowedClientList& list) {
  list.ClearAllowedClientList();
  if (const auto bytes = files.ReadFile(path)) ParseAllowedClientList(*bytes, list);
}

bool SaveClientList(FileSystem& files, const std::string& path, const AllowedClientList& list) {
  return files.ReplaceFile(path, FormatAllowedClientList(list));
}

ClientPage ClientPage::Build(const PanelSettings& settings) {
  ClientPage page;
  page.checkClient = settings.CheckClient != 0;
  return page;
}

std::vector<std::string> ClientPage::ListLines() const {
  std::vector<std::string> lines;
  for (const AllowedClient& entry : list.entries()) {
    lines.push_back(FormatClientId(entry.id) + "\t" + Cp932ToUtf8(entry.comment));
  }
  return lines;
}

bool ClientPage::SetCheckClient(bool on) {
  const bool changed = checkClient != on;
  checkClient = on;
  return changed;
}

EditResult ClientPage::Add() {
  if (clientId.empty()) return {MSG_CLIENT_EMPTY};
  const auto id = ParseClientIdText(clientId);
  if (!id) return {MSG_CLIENT_INVALID};
  const std::string bytes(Cp932Prefix(Utf8ToCp932(comment), kCommentFieldLength));
  const int inserted = list.InsertAllowedClient(*id, bytes);
  selectedRow = -1;
  return {inserted == 0 ? 0 : MSG_CLIENT_LISTED, true};
}

EditResult ClientPage::Remove() {
  if (selectedRow < 0 || !list.RemoveAt(static_cast<std::size_t>(selectedRow))) {
    return {MSG_SELECT_ITEM};
  }
  selectedRow = -1;
  return {0, true};
}

void ClientPage::Apply(PanelSettings& settings, PrivateProfile& profile, FileSystem& files,
                       const std::string& path) const {
  settings.CheckClient = checkClient ? 1 : 0;
  StorePanelSettings(profile, settings, GROUP_CLIENT);
  SaveClientList(files, path, list);
}

}  // namespace tamrix
