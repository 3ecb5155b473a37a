# 32-bit x86 build on an x86-64 Debian host, with i386 libraries from multiarch.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
# SSE2 arithmetic (not x87) and 64-bit file offsets and times, so that the
# 32-bit program computes and reads exactly what the 64-bit one does.
set(SITEQUERY_I686_FLAGS "-m32 -msse2 -mfpmath=sse -D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64")
set(CMAKE_C_FLAGS_INIT "${SITEQUERY_I686_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${SITEQUERY_I686_FLAGS}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_FIND_ROOT_PATH /usr/lib/i386-linux-gnu)
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu)
# Kernels without 32-bit support run the tests and the program under the
# user-mode emulator; where 32-bit programs run natively it does no harm.
find_program(SITEQUERY_QEMU_I386 qemu-i386 PATHS /usr/bin NO_CMAKE_FIND_ROOT_PATH)
if(SITEQUERY_QEMU_I386)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SITEQUERY_QEMU_I386})
endif()
