# Installation of the library layers: headers under include/zor/<layer>/, the
# library, a CMake package with one component per layer (zor::<layer>) and a
# pkg-config file per layer (zor-<layer>.pc). zor_library calls
# zor_install_layer for every layer of ZOR_LIBRARY_LAYERS; the top level calls
# zor_install_package once all layers are known.
#
# Headers include each other as "<layer>/<file>.h", so the installed include
# directory include/zor is on every consumer's include path, next to include
# (for <zor/<layer>/<file>.h>, the form programs are meant to use).

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ZOR_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zor)
set(ZOR_PKGCONFIG_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# Outside packages the installed layers may link, as "<namespace>::": the
# installed package finds them again (zorConfig.cmake.in), pkg-config names
# them as below. A layer that links another package must add it to both.
set(_zor_pc_OpenSSL::SSL "libssl")
set(_zor_pc_OpenSSL::Crypto "libcrypto")
set(_zor_pc_ZLIB::ZLIB "zlib")
set(_zor_pc_GnuTLS::GnuTLS "gnutls")
set(_zor_libs_Threads::Threads "-pthread")
set(_zor_libs_Boost::url "-lboost_url")
set(_zor_libs_Boost::headers "")

# Appends the pkg-config form of `dep` to <prefix>_requires / <prefix>_libs.
function(_zor_pc_entry dep prefix)
  if(dep MATCHES "^zor_(.*)")
    set(${prefix}_requires ${${prefix}_requires} "zor-${CMAKE_MATCH_1}" PARENT_SCOPE)
  elseif(DEFINED _zor_pc_${dep})
    set(${prefix}_requires ${${prefix}_requires} "${_zor_pc_${dep}}" PARENT_SCOPE)
  elseif(DEFINED _zor_libs_${dep})
    set(${prefix}_libs ${${prefix}_libs} "${_zor_libs_${dep}}" PARENT_SCOPE)
  else()
    message(FATAL_ERROR "zor_library: ${dep} is not known to the installed package; "
                        "add it to cmake/zor_install.cmake and cmake/zorConfig.cmake.in")
  endif()
endfunction()

function(zor_install_layer layer deps private_deps private_headers)
  set(target zor_${layer})
  set_target_properties(${target} PROPERTIES
    EXPORT_NAME ${layer}
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
  target_include_directories(${target} INTERFACE
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/zor>)
  # Consumers must see Asio configured as our objects were (see zor.cmake).
  target_compile_definitions(${target} INTERFACE $<INSTALL_INTERFACE:BOOST_ASIO_NO_DEPRECATED>)

  install(TARGETS ${target} EXPORT zor-${layer}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT devel
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT devel
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT devel)
  install(EXPORT zor-${layer} NAMESPACE zor:: FILE zor-${layer}-targets.cmake
          DESTINATION ${ZOR_CMAKE_INSTALL_DIR} COMPONENT devel)
  file(GLOB_RECURSE headers RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(private_headers)
    list(REMOVE_ITEM headers ${private_headers})
  endif()
  list(TRANSFORM headers PREPEND ${layer}/ OUTPUT_VARIABLE layer_headers)
  set_property(GLOBAL APPEND PROPERTY ZOR_INSTALLED_HEADERS ${layer_headers})
  foreach(header IN LISTS headers)
    get_filename_component(folder ${header} DIRECTORY)
    install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zor/${layer}/${folder} COMPONENT devel)
  endforeach()

  # What a consumer links: every dependency of a static library, the public
  # ones of a shared one.
  set(pc_public_requires)
  set(pc_public_libs)
  set(pc_private_requires)
  set(pc_private_libs)
  set(outside ${deps})
  foreach(dep IN LISTS deps)
    _zor_pc_entry(${dep} pc_public)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "STATIC_LIBRARY")
    list(APPEND outside ${private_deps})
    foreach(dep IN LISTS private_deps)
      _zor_pc_entry(${dep} pc_private)
    endforeach()
  endif()
  list(FILTER outside EXCLUDE REGEX "^zor_")
  set_property(GLOBAL APPEND PROPERTY ZOR_INSTALLED_LAYERS ${layer})
  set_property(GLOBAL PROPERTY ZOR_OUTSIDE_${layer} ${outside})
  set(layer_deps ${deps} ${private_deps})
  list(FILTER layer_deps INCLUDE REGEX "^zor_")
  list(TRANSFORM layer_deps REPLACE "^zor_" "")
  set_property(GLOBAL PROPERTY ZOR_LAYER_DEPS_${layer} ${layer_deps})

  list(JOIN pc_public_requires " " ZOR_PC_REQUIRES)
  list(JOIN pc_public_libs " " ZOR_PC_LIBS)
  list(JOIN pc_private_requires " " ZOR_PC_REQUIRES_PRIVATE)
  list(JOIN pc_private_libs " " ZOR_PC_LIBS_PRIVATE)
  set(ZOR_PC_LAYER ${layer})
  # Relative to the .pc file, so an installed tree can move.
  file(RELATIVE_PATH ZOR_PC_PREFIX /prefix/${ZOR_PKGCONFIG_INSTALL_DIR} /prefix)
  string(REGEX REPLACE "/$" "" ZOR_PC_PREFIX "${ZOR_PC_PREFIX}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/zor.pc.in ${PROJECT_BINARY_DIR}/pkgconfig/zor-${layer}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/zor-${layer}.pc
          DESTINATION ${ZOR_PKGCONFIG_INSTALL_DIR} COMPONENT devel)
endfunction()

# The package's entry point: which layers are installed, what each needs, and
# the version file.
function(zor_install_package)
  get_property(layers GLOBAL PROPERTY ZOR_INSTALLED_LAYERS)
  set(ZOR_LAYER_LINES "set(_zor_layers ${layers})\n")
  foreach(layer IN LISTS layers)
    get_property(deps GLOBAL PROPERTY ZOR_LAYER_DEPS_${layer})
    get_property(outside GLOBAL PROPERTY ZOR_OUTSIDE_${layer})
    string(APPEND ZOR_LAYER_LINES "set(_zor_deps_${layer} ${deps})\n"
                                  "set(_zor_outside_${layer} ${outside})\n")
  endforeach()
  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/zorConfig.cmake.in
    ${PROJECT_BINARY_DIR}/zorConfig.cmake INSTALL_DESTINATION ${ZOR_CMAKE_INSTALL_DIR})
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/zorConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/zorConfig.cmake ${PROJECT_BINARY_DIR}/zorConfigVersion.cmake
          DESTINATION ${ZOR_CMAKE_INSTALL_DIR} COMPONENT devel)
endfunction()
