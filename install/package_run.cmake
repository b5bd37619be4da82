# Hidden child processes, their console protocol, the package run and the
# removal of the old version.
target_sources(parlomind_core PRIVATE
  child_process.cpp
  console_protocol.cpp
  installer.cpp
  installer_protocol.cpp
  uninstaller.cpp
  uninstaller_protocol.cpp)
