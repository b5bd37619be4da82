target_sources(parlomind_core PRIVATE network.cpp)
