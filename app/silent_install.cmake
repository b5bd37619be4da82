target_sources(parlomind_core PRIVATE silent_install.cpp)
