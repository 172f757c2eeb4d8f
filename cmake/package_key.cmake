# The vendor's public key built into the updater.
#
# ulv_package_key_library(NAME PEM) makes the static library NAME, which
# defines vendor_public_key(): the key of the file PEM (an ECDSA P-256 public
# key, as `openssl pkey -pubout` writes it), with the system's cryptography
# to check signatures (ulv_platform_crypto); or null when PEM is empty, and
# then packages are not signed and the program links ulv_no_signatures. The
# key is read with openssl when CMake runs.
function(ulv_package_key_library name pem)
  if(pem STREQUAL "")
    add_library(${name} STATIC ${PROJECT_SOURCE_DIR}/src/package/no_vendor_key.cpp)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src)
    return()
  endif()
  find_program(ULV_OPENSSL openssl)
  if(NOT ULV_OPENSSL)
    message(FATAL_ERROR "openssl is needed to read the package key ${pem}")
  endif()
  set(der ${CMAKE_CURRENT_BINARY_DIR}/${name}.der)
  execute_process(COMMAND ${ULV_OPENSSL} pkey -pubin -in ${pem} -outform DER -out ${der}
                  RESULT_VARIABLE failed ERROR_VARIABLE why)
  if(failed)
    message(FATAL_ERROR "${pem} is not a public key: ${why}")
  endif()
  file(READ ${der} key HEX)
  # The DER of a P-256 key: a fixed prefix of 26 bytes, then the point, uncompressed.
  string(LENGTH "${key}" length)
  if(NOT length EQUAL 182 OR NOT key MATCHES "^3059301306072a8648ce3d020106082a8648ce3d03010703420004")
    message(FATAL_ERROR "${pem} is not an ECDSA P-256 public key")
  endif()
  string(SUBSTRING "${key}" 52 130 point)
  string(REGEX REPLACE "(..)" "0x\\1, " bytes "${point}")
  file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${name}.cpp CONTENT
"// The vendor's public key, from ${pem}: every package must be signed with it.
#include \"package/package_signature.h\"

const unsigned char* vendor_public_key() {
    static const unsigned char key[65] = {${bytes}};
    return key;
}
")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${pem})
  add_library(${name} STATIC ${CMAKE_CURRENT_BINARY_DIR}/${name}.cpp)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ulv_platform_crypto)
endfunction()

# The key pair the tests sign with, made once for every build of this
# checkout (the Windows build embeds its public half, the Linux tests sign
# with its private half), never committed: ULV_TEST_KEY_DIR/vendor.key and
# vendor.pub, and other.key, a key the updater does not know. Sets
# ULV_TEST_PACKAGE_KEY to the public key's path, or to "" without openssl.
function(ulv_test_key_pair)
  set(ULV_TEST_KEY_DIR ${PROJECT_SOURCE_DIR}/build/test-key CACHE PATH "Where the tests' key pair is made")
  find_program(ULV_OPENSSL openssl)
  set(ULV_TEST_PACKAGE_KEY "" PARENT_SCOPE)
  if(NOT ULV_OPENSSL)
    message(WARNING "openssl is missing: the tests of signed packages are not built")
    return()
  endif()
  file(MAKE_DIRECTORY ${ULV_TEST_KEY_DIR})
  foreach(key vendor other)
    if(NOT EXISTS ${ULV_TEST_KEY_DIR}/${key}.pub)
      execute_process(COMMAND ${ULV_OPENSSL} genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256
                              -out ${ULV_TEST_KEY_DIR}/${key}.key COMMAND_ERROR_IS_FATAL ANY)
      file(CHMOD ${ULV_TEST_KEY_DIR}/${key}.key PERMISSIONS OWNER_READ OWNER_WRITE)
      execute_process(COMMAND ${ULV_OPENSSL} pkey -in ${ULV_TEST_KEY_DIR}/${key}.key -pubout
                              -out ${ULV_TEST_KEY_DIR}/${key}.pub COMMAND_ERROR_IS_FATAL ANY)
    endif()
  endforeach()
  set(ULV_TEST_PACKAGE_KEY ${ULV_TEST_KEY_DIR}/vendor.pub PARENT_SCOPE)
endfunction()
