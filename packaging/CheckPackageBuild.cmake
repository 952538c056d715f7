# Run by CPack before it makes the package: a package is made from a Release build
# without the sanitizers, never from the test build, whose programs are slow and need
# the sanitizer libraries.
if(CPACK_ROCKVANE_SANITIZE OR NOT CPACK_ROCKVANE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
    message(FATAL_ERROR "The package is made from a Release build without sanitizers; this "
                        "build is '${CPACK_ROCKVANE_BUILD_TYPE}'"
                        " (sanitizers: '${CPACK_ROCKVANE_SANITIZE}'). Configure one with "
                        "-DCMAKE_BUILD_TYPE=Release.")
endif()
