# The product folder exactly as the installer expects it, and a zip of it:
#   cmake --build build/windows --target package_folder   -> build/windows/product/Orvantis
#   cmake --build build/windows --target package          -> build/windows/Orvantis-0.9.4-win64.zip
set(KESTRUNE_DELIVERABLES kestrune_service KestruneApo kestrune_app kestrune_ctl)

install(TARGETS kestrune_service kestrune_app kestrune_ctl RUNTIME DESTINATION .)
install(TARGETS KestruneApo RUNTIME DESTINATION . LIBRARY DESTINATION .)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/app/ui/ DESTINATION ui)

# Microsoft's WebView2 loader cannot be built here. A release build names the
# x64 WebView2Loader.dll of the WebView2 SDK (NuGet package
# Microsoft.Web.WebView2, build/native/x64/); the product folder then gets it
# beside kestrune_app.exe, with the SDK's licence notice, which its licence
# asks to travel with it. Without it the app explains that the file is
# missing and ends.
set(KESTRUNE_WEBVIEW2_LOADER "" CACHE FILEPATH
  "x64 WebView2Loader.dll from the WebView2 SDK, shipped beside kestrune_app.exe")
set(KESTRUNE_WEBVIEW2_LICENSE "" CACHE FILEPATH
  "The WebView2 SDK's LICENSE.txt (default: the one at the root of the SDK package)")
if(KESTRUNE_WEBVIEW2_LOADER)
  if(NOT EXISTS "${KESTRUNE_WEBVIEW2_LOADER}")
    message(FATAL_ERROR "KESTRUNE_WEBVIEW2_LOADER: no such file: ${KESTRUNE_WEBVIEW2_LOADER}")
  endif()
  # A loader of another architecture cannot load into the 64-bit app: check
  # the PE header's machine field (0x8664) behind the offset at 0x3C.
  file(READ "${KESTRUNE_WEBVIEW2_LOADER}" pe_offset OFFSET 60 LIMIT 4 HEX)
  set(pe_head "")
  if(pe_offset MATCHES "^(..)(..)(..)(..)$")
    math(EXPR pe_offset "0x${CMAKE_MATCH_4}${CMAKE_MATCH_3}${CMAKE_MATCH_2}${CMAKE_MATCH_1}")
    file(READ "${KESTRUNE_WEBVIEW2_LOADER}" pe_head OFFSET ${pe_offset} LIMIT 6 HEX)
  endif()
  if(NOT pe_head STREQUAL "504500006486")
    message(FATAL_ERROR "KESTRUNE_WEBVIEW2_LOADER is not an x64 DLL: ${KESTRUNE_WEBVIEW2_LOADER}")
  endif()
  set(licence "${KESTRUNE_WEBVIEW2_LICENSE}")
  if(NOT licence)
    get_filename_component(package_root "${KESTRUNE_WEBVIEW2_LOADER}/../../../.." ABSOLUTE)
    set(licence "${package_root}/LICENSE.txt")
  endif()
  if(NOT EXISTS "${licence}")
    message(FATAL_ERROR "The WebView2 SDK's licence notice must ship with its loader: set "
                        "KESTRUNE_WEBVIEW2_LICENSE (not found: ${licence})")
  endif()
  install(FILES "${KESTRUNE_WEBVIEW2_LOADER}" DESTINATION . RENAME WebView2Loader.dll)
  install(FILES "${licence}" DESTINATION . RENAME WebView2Loader.LICENSE.txt)
endif()

set(KESTRUNE_PRODUCT_DIR ${CMAKE_BINARY_DIR}/product/Orvantis)
add_custom_target(package_folder
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${KESTRUNE_PRODUCT_DIR}
  COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${KESTRUNE_PRODUCT_DIR}
  DEPENDS ${KESTRUNE_DELIVERABLES}
  COMMENT "Laying out the product folder in ${KESTRUNE_PRODUCT_DIR}")

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Orvantis)
set(CPACK_PACKAGE_VERSION 0.9.4)
set(CPACK_PACKAGE_FILE_NAME Orvantis-0.9.4-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)
