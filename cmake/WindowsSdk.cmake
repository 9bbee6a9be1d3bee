# What the SDK's build takes for Windows (included by sdk/CMakeLists.txt): the platform files
# named *Windows.cpp, ZeroMQ from the MinGW prefix that scripts/build-windows-libs.sh builds,
# and no recordings. FFmpeg's libraries are packaged for Linux only, so there is no recording
# layer and no recorder; the playback layer is one file that refuses to play, the way an
# unreadable file would be refused, and the recording layer is its headers alone (the error
# type). Video4Linux2 capture devices are Linux's and stay out by themselves.
set(CAMSDK_PLATFORM Windows)
find_package(ZeroMQ CONFIG REQUIRED)
set(CAMSDK_ZMQ libzmq-static)

add_library(camsdk_recording INTERFACE)
target_include_directories(camsdk_recording INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/src/recording)
target_link_libraries(camsdk_recording INTERFACE camsdk_common)

add_library(camsdk_playback STATIC
            ${CMAKE_CURRENT_SOURCE_DIR}/src/playback/sources/RecordingsUnavailableWindows.cpp)
target_include_directories(camsdk_playback PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/src/playback)
target_link_libraries(camsdk_playback PUBLIC camsdk_service camsdk_recording PRIVATE dv_warnings)
