# The product folder exactly as the installer expects it, and a zip of it:
#   cmake --build build/windows --target package_folder   -> build/windows/product/Orvantis
#   cmake --build build/windows --target package          -> build/windows/Orvantis-0.9.4-win64.zip
set(KESTRUNE_DELIVERABLES kestrune_service KestruneApo kestrune_app kestrune_ctl)

install(TARGETS kestrune_service kestrune_app kestrune_ctl RUNTIME DESTINATION .)
install(TARGETS KestruneApo RUNTIME DESTINATION . LIBRARY DESTINATION .)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/app/ui/ DESTINATION ui)

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
