#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/posix/desktop_shortcuts.h"
#include "platform/posix/posix_file_operations.h"
#include "tests/platform/temp_machine.h"

namespace tamrix::testing {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const std::string& path, const std::string& contents, mode_t mode = 0644) {
  std::ofstream(path, std::ios::binary) << contents;
  ::chmod(path.c_str(), mode);
}

mode_t Mode(const std::string& path) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  return info.st_mode & 07777;
}

TEST(PosixFileOperationsTest, CopyReplacesTheOldFileAndKeepsTheProgramRunnable) {
  TempMachine machine;
  PosixFileOperations files;
  const std::string source = machine.Path("TAMRIX.exe");
  const std::string target = machine.Path("dir/TAMRIX.exe");
  Write(source, "new program", 0755);
  EXPECT_FALSE(files.CopyFile(source, target));  // no directory yet
  ASSERT_TRUE(files.CreateDirectory(machine.Path("dir")));
  EXPECT_FALSE(files.CreateDirectory(machine.Path("dir")));
  Write(target, "old program, longer than the new one", 0600);
  ASSERT_TRUE(files.CopyFile(source, target));
  EXPECT_EQ(Slurp(target), "new program");
  EXPECT_EQ(Mode(target), 0755u);
  EXPECT_FALSE(files.CopyFile(machine.Path("missing"), target));
  EXPECT_EQ(Slurp(target), "new program");
  EXPECT_FALSE(files.CopyFile(machine.Path("dir"), machine.Path("dir/copy")));  // not a file
  // Nothing but the copied file is left in the folder: no temporary stays behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(machine.Path("dir")), {}), 1);
}

TEST(PosixFileOperationsTest, DeletesOnlyFilesAndRemovesOnlyEmptyDirectories) {
  TempMachine machine;
  PosixFileOperations files;
  ASSERT_TRUE(files.CreateDirectory(machine.Path("dir")));
  Write(machine.Path("dir/a"), "a");
  EXPECT_FALSE(files.DeleteFile(machine.Path("dir")));
  EXPECT_FALSE(files.RemoveDirectory(machine.Path("dir")));
  EXPECT_TRUE(files.DeleteFile(machine.Path("dir/a")));
  EXPECT_FALSE(files.DeleteFile(machine.Path("dir/a")));
  EXPECT_TRUE(files.RemoveDirectory(machine.Path("dir")));
  EXPECT_FALSE(files.RemoveDirectory(machine.Path("dir")));
}

TEST(DesktopShortcutsTest, EntryLivesBelowTheMachineRootAndStartsTheProgram) {
  TempMachine machine;
  DesktopShortcuts shortcuts(machine.paths, "/home/op/.local/share");
  const ShellLink link{"/usr/local/lib/TAMRIX/TAMRIX.exe", "/usr/local/lib/TAMRIX", "TAMRIXｺﾝﾄﾛｰﾙ"};
  const std::string file = machine.Path("home/op/.local/share/applications/TAMRIXｺﾝﾄﾛｰﾙ.desktop");
  EXPECT_EQ(shortcuts.EntryPath(CSIDL_PROGRAMS, "TAMRIXｺﾝﾄﾛｰﾙ"), file);
  ASSERT_TRUE(shortcuts.Save(CSIDL_PROGRAMS, "TAMRIXｺﾝﾄﾛｰﾙ", link));
  EXPECT_EQ(Slurp(file),
            "[Desktop Entry]\nType=Application\nName=TAMRIXｺﾝﾄﾛｰﾙ\nComment=TAMRIXｺﾝﾄﾛｰﾙ\n"
            "Exec=/usr/local/lib/TAMRIX/TAMRIX.exe\nPath=/usr/local/lib/TAMRIX\n"
            "Terminal=false\n");
  ASSERT_TRUE(shortcuts.Save(CSIDL_PROGRAMS, "TAMRIXｺﾝﾄﾛｰﾙ", link));  // replaces it
  EXPECT_TRUE(shortcuts.Delete(CSIDL_PROGRAMS, "TAMRIXｺﾝﾄﾛｰﾙ"));
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_FALSE(shortcuts.Delete(CSIDL_PROGRAMS, "TAMRIXｺﾝﾄﾛｰﾙ"));
  // Only the programs folder is known, and a name cannot climb out of it.
  EXPECT_FALSE(shortcuts.Save(7, "TAMRIXｺﾝﾄﾛｰﾙ", link));
  EXPECT_FALSE(shortcuts.Save(CSIDL_PROGRAMS, "../escape", link));
  DesktopShortcuts homeless(machine.paths, "");
  EXPECT_FALSE(homeless.Save(CSIDL_PROGRAMS, "TAMRIXｺﾝﾄﾛｰﾙ", link));
}

TEST(DesktopShortcutsTest, ExecArgumentSurvivesUnusualPaths) {
  const std::pair<const char*, const char*> cases[] = {
      {"/usr/local/lib/TAMRIX/TAMRIX.exe", "/usr/local/lib/TAMRIX/TAMRIX.exe"},
      {"/opt/my root/TAMRIX.exe", "\"/opt/my root/TAMRIX.exe\""},
      {"/opt/a\"b/TAMRIX.exe", "\"/opt/a\\\\\"b/TAMRIX.exe\""},
      {"/opt/$HOME/TAMRIX.exe", "\"/opt/\\\\$HOME/TAMRIX.exe\""},
      {"/opt/50%/TAMRIX.exe", "/opt/50%%/TAMRIX.exe"},
      {"/opt/a\\b", "\"/opt/a\\\\\\\\b\""},
  };
  for (const auto& [path, expected] : cases) EXPECT_EQ(DesktopExecArgument(path), expected) << path;
  // A line break in a value would start a key of its own.
  EXPECT_EQ(DesktopStringValue("a\nExec=x"), "a\\nExec=x");
}

}  // namespace
}  // namespace tamrix::testing
