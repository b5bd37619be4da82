target_sources(parlomind_core PRIVATE log_file.cpp)
