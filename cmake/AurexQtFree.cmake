# The build without Qt (AUREX_QT=OFF), for Windows or for Linux: the libraries that need
# neither Qt nor POSIX, the serial devices over the system's serial calls, aurex-codeplug, and
# the unit tests of those (under Wine for Windows). The run records (src/record), the port
# census (src/ports) and everything with Qt stay Linux-only.
add_subdirectory(src/text)
add_subdirectory(src/link)
add_subdirectory(src/programming)
add_subdirectory(src/transfer)
add_subdirectory(src/convert)
add_subdirectory(src/image_store)
add_subdirectory(tools/codeplug-builder)
add_subdirectory(tools/codeplug)
add_subdirectory(tests/windows)
