# The Windows cross build: the libraries that need neither Qt nor POSIX, the Win32 serial
# devices, aurex-codeplug, and the unit tests of those, run under Wine by ctest. The run
# records (src/record), the port census (src/ports) and everything with Qt stay Linux-only.
add_subdirectory(src/text)
add_subdirectory(src/link)
add_subdirectory(src/programming)
add_subdirectory(src/transfer)
add_subdirectory(src/convert)
add_subdirectory(src/image_store)
add_subdirectory(tools/codeplug-builder)
add_subdirectory(tools/codeplug)
add_subdirectory(tests/windows)
