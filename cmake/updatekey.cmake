# The public half of the key that signs our installers, built into the client:
# the raw 32-byte Ed25519 key as 64 hex digits, e.g. from
#   openssl pkey -in release.pem -pubout -outform DER | tail -c 32 | xxd -p -c 64
# Without one the client never starts an installer.
set(ORDERDESK_UPDATE_KEY "" CACHE STRING "Ed25519 public key for installer signatures (64 hex digits)")
if(NOT ORDERDESK_UPDATE_KEY STREQUAL "" AND NOT ORDERDESK_UPDATE_KEY MATCHES "^[0-9a-fA-F]+$")
    message(FATAL_ERROR "ORDERDESK_UPDATE_KEY must be 64 hex digits")
endif()
string(LENGTH "${ORDERDESK_UPDATE_KEY}" key_length)
if(NOT key_length EQUAL 0 AND NOT key_length EQUAL 64)
    message(FATAL_ERROR "ORDERDESK_UPDATE_KEY must be 64 hex digits")
endif()
set(UPDATE_PUBLIC_KEY "${ORDERDESK_UPDATE_KEY}")

# Test and demo builds sign the local backend's installer with a key pair of
# their own, made once per build folder; the client trusts it unless a key was
# given. The private half never leaves the build folder.
set(UPDATE_TEST_SIGNING_KEY "")
if(ORDERDESK_BUILD_TESTING)
    find_program(OPENSSL_PROGRAM openssl REQUIRED)
    set(UPDATE_TEST_SIGNING_KEY "${CMAKE_BINARY_DIR}/update-test-key.pem")
    if(NOT EXISTS "${UPDATE_TEST_SIGNING_KEY}")
        execute_process(COMMAND "${OPENSSL_PROGRAM}" genpkey -algorithm ed25519 -out "${UPDATE_TEST_SIGNING_KEY}"
                        RESULT_VARIABLE failed ERROR_VARIABLE error)
        if(failed)
            message(FATAL_ERROR "cannot make the update test key: ${error}")
        endif()
    endif()
    # Deleting the key pair makes a new one at the next build.
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${UPDATE_TEST_SIGNING_KEY}")
    set(public_der "${CMAKE_BINARY_DIR}/update-test-key.pub.der")
    execute_process(COMMAND "${OPENSSL_PROGRAM}" pkey -in "${UPDATE_TEST_SIGNING_KEY}" -pubout -outform DER
                            -out "${public_der}"
                    RESULT_VARIABLE failed ERROR_VARIABLE error)
    if(failed)
        message(FATAL_ERROR "cannot read the update test key: ${error}")
    endif()
    # The DER form is a fixed 12-byte header followed by the raw key.
    file(READ "${public_der}" public_hex HEX)
    string(LENGTH "${public_hex}" der_length)
    if(NOT der_length EQUAL 88)
        message(FATAL_ERROR "${public_der} is no Ed25519 public key")
    endif()
    string(SUBSTRING "${public_hex}" 24 64 test_public_key)
    if(UPDATE_PUBLIC_KEY STREQUAL "")
        set(UPDATE_PUBLIC_KEY "${test_public_key}")
    endif()
endif()
