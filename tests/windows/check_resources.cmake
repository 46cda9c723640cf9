# Checks a program's resources with wrestool (icoutils): the icon group
# "IDI_MAIN", a version resource naming the product, the version, the file
# and the licence's copyright line, and a manifest that runs the program as the invoker, lists Windows 7
# to 11 and leaves DPI awareness alone.
#   cmake -DWRESTOOL=... -DPROGRAM=... -DFILE_NAME=... -DVERSION=... -DLICENSE=... -DWORK=DIR -P check_resources.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${WRESTOOL} -l ${PROGRAM} OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "wrestool cannot list the resources of ${PROGRAM}")
endif()
foreach(entry "--type=14 --name='IDI_MAIN'" "--type=16 --name=1" "--type=24 --name=1")
  string(FIND "${listing}" "${entry}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${PROGRAM} has no resource ${entry}; wrestool lists:\n${listing}")
  endif()
endforeach()

file(MAKE_DIRECTORY ${WORK})
function(extract type out)
  execute_process(COMMAND ${WRESTOOL} -x --raw --type=${type} ${PROGRAM} OUTPUT_FILE ${out} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "wrestool cannot extract resource type ${type} of ${PROGRAM}")
  endif()
endfunction()

# Version strings are UTF-16: each value follows its key, padded to 4 bytes.
extract(16 ${WORK}/version.bin)
file(READ ${WORK}/version.bin version HEX)
function(utf16 text out)
  string(HEX "${text}" hex)
  string(REGEX REPLACE "(..)" "\\100" hex "${hex}")
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()
file(STRINGS ${LICENSE} copyright REGEX "^Copyright " LIMIT_COUNT 1)
if(NOT copyright)
  message(FATAL_ERROR "${LICENSE} has no copyright line")
endif()
foreach(pair "ProductName=Noise animation" "FileVersion=${VERSION}" "ProductVersion=${VERSION}"
             "OriginalFilename=${FILE_NAME}" "LegalCopyright=${copyright}")
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 key)
  list(GET pair 1 value)
  utf16("${key}" key_hex)
  utf16("${value}" value_hex)
  if(NOT version MATCHES "${key_hex}(0000)+${value_hex}0000")
    message(FATAL_ERROR "the version resource of ${PROGRAM} has no ${key} \"${value}\"")
  endif()
endforeach()

extract(24 ${WORK}/manifest.xml)
file(READ ${WORK}/manifest.xml manifest)
foreach(needed "level=\"asInvoker\""
               "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"   # Windows 7
               "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"   # Windows 8
               "{1f676c76-80e1-4239-95bb-83d0f6d0da78}"   # Windows 8.1
               "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}")  # Windows 10 and 11
  string(FIND "${manifest}" "${needed}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the manifest of ${PROGRAM} lacks ${needed}")
  endif()
endforeach()
if(manifest MATCHES "dpiAware")
  message(FATAL_ERROR "the manifest of ${PROGRAM} changes DPI awareness")
endif()
message(STATUS "${PROGRAM}: icon group, version ${VERSION} and manifest present")
