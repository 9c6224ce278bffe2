# Authenticode signatures (SHA-256) on the Windows files, made by osslsigncode
# when the package is given a signing certificate and key; included by the
# scripts that make the packages. What to sign with is read when the package
# is made: from the environment, else from the variable of the same name the
# caller passes on from the build's cache.
#   SKARVEL_SIGN_PKCS12          a PKCS#12 file holding the certificate (and its chain) and the key
#   SKARVEL_SIGN_PKCS11_MODULE   or a token: its PKCS#11 module,
#   SKARVEL_SIGN_PKCS11_KEY      the key's PKCS#11 URI on it,
#   SKARVEL_SIGN_CERTIFICATE     and the certificate (and its chain), PEM
#   SKARVEL_SIGN_PASSWORD        the PKCS#12 file's password or the token's PIN: environment only,
#                                as a build's cache is a file anyone with the build tree reads
#   SKARVEL_SIGN_PASSWORD_FILE   or a file holding it
#   SKARVEL_TIMESTAMP_URL        an RFC 3161 timestamp service (none: no timestamp)
# OSSLSIGNCODE names the program (default: found on the PATH).
set(signing_settings SKARVEL_SIGN_PKCS12 SKARVEL_SIGN_PKCS11_MODULE SKARVEL_SIGN_PKCS11_KEY
    SKARVEL_SIGN_CERTIFICATE SKARVEL_SIGN_PASSWORD_FILE SKARVEL_TIMESTAMP_URL)
foreach(setting ${signing_settings})
  if(DEFINED ENV{${setting}})
    set(${setting} "$ENV{${setting}}")
  endif()
endforeach()
if(SKARVEL_SIGN_PKCS12 OR SKARVEL_SIGN_PKCS11_MODULE)
  set(signing ON)
else()
  set(signing OFF)
endif()
set(signing_absent "not signed: no signing certificate given (SKARVEL_SIGN_PKCS12, or SKARVEL_SIGN_PKCS11_MODULE with its key and certificate)")

# Signs each file in place; any failure stops the package, which is never
# made half signed or unsigned once a certificate was given. `scratch` is a
# folder of the build's own, for the password while osslsigncode runs.
function(sign_windows_files scratch)
  if(NOT signing)
    return()
  endif()
  if(NOT OSSLSIGNCODE)
    find_program(OSSLSIGNCODE osslsigncode)
    if(NOT OSSLSIGNCODE)
      message(FATAL_ERROR "A signing certificate is given, but osslsigncode is not installed")
    endif()
  endif()
  if(SKARVEL_SIGN_PKCS12)
    set(with -pkcs12 ${SKARVEL_SIGN_PKCS12})
  elseif(NOT SKARVEL_SIGN_PKCS11_KEY OR NOT SKARVEL_SIGN_CERTIFICATE)
    message(FATAL_ERROR "SKARVEL_SIGN_PKCS11_MODULE needs SKARVEL_SIGN_PKCS11_KEY and SKARVEL_SIGN_CERTIFICATE")
  else()
    # A PKCS#11 URI separates its fields with ";", which must stay in one argument.
    string(REPLACE ";" "\\;" key "${SKARVEL_SIGN_PKCS11_KEY}")
    set(with -pkcs11module ${SKARVEL_SIGN_PKCS11_MODULE} -key "${key}" -certs ${SKARVEL_SIGN_CERTIFICATE})
  endif()
  # The password goes to osslsigncode in a file only this user reads, never
  # on its command line, where every process sees it.
  set(private ${scratch}/signing-password)
  file(REMOVE_RECURSE ${private})
  if(DEFINED ENV{SKARVEL_SIGN_PASSWORD})
    file(MAKE_DIRECTORY ${private})
    file(CHMOD ${private} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    file(WRITE ${private}/password "$ENV{SKARVEL_SIGN_PASSWORD}")
    list(APPEND with -readpass ${private}/password)
  elseif(SKARVEL_SIGN_PASSWORD_FILE)
    list(APPEND with -readpass ${SKARVEL_SIGN_PASSWORD_FILE})
  endif()
  if(SKARVEL_TIMESTAMP_URL)
    list(APPEND with -ts ${SKARVEL_TIMESTAMP_URL})
  endif()
  foreach(file ${ARGN})
    file(REMOVE ${file}.signed)
    # An installer's signature also covers its tables' metadata.
    set(kind "")
    if(file MATCHES "[.]msi$")
      set(kind -add-msi-dse)
    endif()
    execute_process(COMMAND ${OSSLSIGNCODE} sign ${with} ${kind} -h sha256 -n SkarvelConfig -in ${file} -out ${file}.signed
                    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT status EQUAL 0 OR NOT EXISTS ${file}.signed)
      file(REMOVE_RECURSE ${private})
      file(REMOVE ${file}.signed)
      string(STRIP "${output}" output)
      message(FATAL_ERROR "${file} could not be signed:\n${output}")
    endif()
    file(RENAME ${file}.signed ${file})
  endforeach()
  file(REMOVE_RECURSE ${private})
endfunction()
