# Compile settings shared by every target of the project.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

option(VOCATEXT_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(VOCATEXT_WERROR "Treat every warning as an error (CI builds so)" OFF)

add_library(vocatext_options INTERFACE)
target_compile_features(vocatext_options INTERFACE cxx_std_20)
target_compile_options(vocatext_options INTERFACE
  -Wall -Wextra -pedantic -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual -Wshadow)
if(VOCATEXT_WERROR)
  target_compile_options(vocatext_options INTERFACE -Werror)
endif()
target_compile_definitions(vocatext_options INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_FOREACH QT_NO_KEYWORDS)

if(VOCATEXT_SANITIZE)
  target_compile_options(vocatext_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(vocatext_options INTERFACE -fsanitize=address,undefined)
endif()

option(VOCATEXT_FUZZ "Build the libFuzzer targets of the document readers (clang)" OFF)
if(VOCATEXT_FUZZ)
  # Coverage for the fuzzer in every library it links.
  target_compile_options(vocatext_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined)
  target_link_options(vocatext_options INTERFACE -fsanitize=address,undefined)
endif()

# Debian's hardening for every program built to be run (bindnow, relro, fortify, stack
# protector and clash protection), exactly as dpkg-buildflags gives it for a package with
# hardening=+all; the sanitizer and fuzzer builds instrument instead.
option(VOCATEXT_HARDENING "Build with Debian's hardening flags from dpkg-buildflags" ON)
if(VOCATEXT_HARDENING AND NOT VOCATEXT_SANITIZE AND NOT VOCATEXT_FUZZ)
  find_program(VOCATEXT_DPKG_BUILDFLAGS dpkg-buildflags)
  if(NOT VOCATEXT_DPKG_BUILDFLAGS)
    message(FATAL_ERROR "VOCATEXT_HARDENING needs dpkg-buildflags (package dpkg-dev)")
  endif()
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND "${CMAKE_COMMAND}" -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all "${VOCATEXT_DPKG_BUILDFLAGS}" --get ${kind}
      WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    if(kind STREQUAL "LDFLAGS")
      target_link_options(vocatext_options INTERFACE ${flags})
    else()
      target_compile_options(vocatext_options INTERFACE ${flags})
    endif()
  endforeach()
endif()
