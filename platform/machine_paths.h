#pragma once

#include <string>

namespace tamrix {

// Where the emulated machine lives. Every path is prefixed by the root (TAMRIX_SYSROOT, "/" when
// unset), so each test can give itself a machine of its own.
struct MachinePaths {
  std::string root;  // no trailing separator; empty means "/"

  static MachinePaths FromEnvironment();

  std::string WindowsDirectory() const;  // data files: TAMRIX.ini, TAMRIX.db, TAMRIX.db2
  // Programs live in its TAMRIX folder: /usr/lib when a Debian package put them there (its
  // policy keeps packages out of /usr/local), else /usr/local/lib, where setup installs them.
  std::string SystemDirectory() const;
  std::string InstallDirectory() const;  // the system directory's TAMRIX folder
  std::string RunDirectory() const;      // window endpoints, service manager state
};

// Joins a directory and a name with one "/", whether or not the directory already ends in one.
std::string JoinPath(const std::string& directory, const std::string& name);

}  // namespace tamrix
