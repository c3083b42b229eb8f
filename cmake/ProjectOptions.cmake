# One INTERFACE target carries everything our own targets share. Nothing here is
# directory-wide, so third-party code keeps its own flags.
add_library(cryptelle_options INTERFACE)

target_compile_features(cryptelle_options INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

target_compile_options(cryptelle_options INTERFACE
    -Wall -Wextra -Wpedantic
    $<$<BOOL:${CRYPTELLE_WARNINGS_AS_ERRORS}>:-Werror>
    -fstack-protector-strong
    -fvisibility=hidden
    $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)

# Debian's hardening for what the package ships: read-only relocations,
# bound at start-up.
target_link_options(cryptelle_options INTERFACE -Wl,-z,relro -Wl,-z,now)

target_compile_definitions(cryptelle_options INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_FOREACH
    QT_STRICT_ITERATORS
    _FILE_OFFSET_BITS=64)

if(CRYPTELLE_SANITIZE)
    target_compile_options(cryptelle_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
    target_link_options(cryptelle_options INTERFACE -fsanitize=address,undefined)
endif()

# Installed programs live together in the program folder; users start them
# through a link in the usual bin folder.
function(cryptelle_add_launcher target)
    install(CODE "
        file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
        file(CREATE_LINK \"../${CRYPTELLE_INSTALL_PROGRAM_DIR}/${target}\"
             \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${target}\" SYMBOLIC)
    ")
endfunction()
