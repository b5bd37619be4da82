target_sources(parlomind_core PRIVATE
  curl_client.cpp curl_downloader.cpp curl_handle.cpp digest.cpp downloader_factory.cpp
  mt_curl_downloader.cpp transfer_options.cpp win_downloader.cpp worker_slot.cpp)
