# Disk space, the working folder, folder trees and the environment probes.
target_sources(parlomind_core PRIVATE disk.cpp probes.cpp)
