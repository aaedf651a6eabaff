# libzip, which reads zip archives in place for import (src/files/), as
# `zip_libraries`. libzip rather than minizip: it is kept up upstream and in
# Debian (Debian's minizip has had no maintainer's upload since 2016), checks
# each file's CRC and size as it is read, reads ZIP64, and opens Unicode
# paths on Windows. Linux links Debian's libzip-dev. The Windows build
# compiles libzip from the C sources of Debian's own source package, which
# scripts/libzip-source.sh copies into the build folder (no copy of libzip
# lives in the tree), statically, so no DLL travels beside the programs.
if(WIN32)
    set(STRIVO_LIBZIP_SOURCE ${CMAKE_BINARY_DIR}/libzip CACHE PATH "Folder for libzip's C sources")
    if(NOT EXISTS ${STRIVO_LIBZIP_SOURCE}/zip_open.c)
        message(FATAL_ERROR "no zip_open.c in ${STRIVO_LIBZIP_SOURCE}: run "
                            "scripts/libzip-source.sh ${STRIVO_LIBZIP_SOURCE} (make windows-build does)")
    endif()
    if(NOT TARGET strivo_libzip)
        enable_language(C)
        set(config_dir ${CMAKE_BINARY_DIR}/libzip-config)
        # Debian's version of the sources ("1.7.3-1"), as libzip-source.sh noted it.
        file(READ ${STRIVO_LIBZIP_SOURCE}/VERSION debian_version)
        string(REGEX MATCH "^([0-9]+)\\.([0-9]+)\\.([0-9]+)" version "${debian_version}")
        set(version_defines "#define LIBZIP_VERSION \"${version}\"\n"
            "#define LIBZIP_VERSION_MAJOR ${CMAKE_MATCH_1}\n"
            "#define LIBZIP_VERSION_MINOR ${CMAKE_MATCH_2}\n"
            "#define LIBZIP_VERSION_MICRO ${CMAKE_MATCH_3}\n")
        # What libzip's own CMake finds for MinGW-w64, less what reading does
        # not need: no bzip2, xz or encryption (stored and deflated files only).
        file(WRITE ${config_dir}/config.h.new
             "#ifndef HAD_CONFIG_H\n#define HAD_CONFIG_H\n#include \"zipconf.h\"\n"
             "#define HAVE__CLOSE\n#define HAVE__DUP\n#define HAVE__FDOPEN\n#define HAVE__FILENO\n"
             "#define HAVE__SETMODE\n#define HAVE__SNPRINTF\n#define HAVE__STRDUP\n"
             "#define HAVE__STRICMP\n#define HAVE__STRTOI64\n#define HAVE__STRTOUI64\n"
             "#define HAVE__UNLINK\n#define HAVE_FILENO\n#define HAVE_FSEEKO\n#define HAVE_FTELLO\n"
             "#define HAVE_SETMODE\n#define HAVE_SNPRINTF\n#define HAVE_STRCASECMP\n"
             "#define HAVE_STRDUP\n#define HAVE_STRICMP\n#define HAVE_STRTOLL\n#define HAVE_STRTOULL\n"
             "#define HAVE_STDBOOL_H\n#define HAVE_STRINGS_H\n#define HAVE_UNISTD_H\n"
             "#define SIZEOF_OFF_T 4\n#define SIZEOF_SIZE_T 8\n"
             "#define PACKAGE \"libzip\"\n#define VERSION \"${version}\"\n#endif\n")
        file(WRITE ${config_dir}/zipconf.h.new
             "#ifndef _HAD_ZIPCONF_H\n#define _HAD_ZIPCONF_H\n#define ZIP_STATIC\n"
             ${version_defines}
             "#define _Nullable\n#define _Nonnull\n#include <inttypes.h>\n"
             "typedef int8_t zip_int8_t;\ntypedef uint8_t zip_uint8_t;\n"
             "typedef int16_t zip_int16_t;\ntypedef uint16_t zip_uint16_t;\n"
             "typedef int32_t zip_int32_t;\ntypedef uint32_t zip_uint32_t;\n"
             "typedef int64_t zip_int64_t;\ntypedef uint64_t zip_uint64_t;\n"
             "#define ZIP_INT8_MIN (-ZIP_INT8_MAX-1)\n#define ZIP_INT8_MAX 0x7f\n"
             "#define ZIP_UINT8_MAX 0xff\n#define ZIP_INT16_MIN (-ZIP_INT16_MAX-1)\n"
             "#define ZIP_INT16_MAX 0x7fff\n#define ZIP_UINT16_MAX 0xffff\n"
             "#define ZIP_INT32_MIN (-ZIP_INT32_MAX-1L)\n#define ZIP_INT32_MAX 0x7fffffffL\n"
             "#define ZIP_UINT32_MAX 0xffffffffLU\n#define ZIP_INT64_MIN (-ZIP_INT64_MAX-1LL)\n"
             "#define ZIP_INT64_MAX 0x7fffffffffffffffLL\n"
             "#define ZIP_UINT64_MAX 0xffffffffffffffffULL\n#endif\n")
        # Its table of error words, made from zip.h as libzip's CMake makes it.
        file(READ ${STRIVO_LIBZIP_SOURCE}/zip.h zip_h)
        string(REGEX MATCHALL "#define ZIP_ER_([A-Z_]+) ([0-9]+)[ \t]+/([-*0-9a-zA-Z ']*)/"
               errors "${zip_h}")
        set(words "")
        set(types "")
        foreach(line IN LISTS errors)
            string(REGEX MATCH "#define ZIP_ER_([A-Z_]+) ([0-9]+)[ \t]+/([-*0-9a-zA-Z ']*)/"
                   matched "${line}")
            string(REGEX MATCH "([N|S|Z]+) ([-0-9a-zA-Z ']*)" matched "${CMAKE_MATCH_3}")
            string(STRIP "${CMAKE_MATCH_2}" text)
            string(APPEND words "    \"${text}\",\n")
            string(APPEND types "    ${CMAKE_MATCH_1},\n")
        endforeach()
        file(WRITE ${config_dir}/zip_err_str.c.new
             "#include \"zipint.h\"\nconst char * const _zip_err_str[] = {\n${words}};\n"
             "const int _zip_nerr_str = sizeof(_zip_err_str)/sizeof(_zip_err_str[0]);\n"
             "#define N ZIP_ET_NONE\n#define S ZIP_ET_SYS\n#define Z ZIP_ET_ZLIB\n"
             "const int _zip_err_type[] = {\n${types}};\n")
        foreach(made config.h zipconf.h zip_err_str.c)
            file(COPY_FILE ${config_dir}/${made}.new ${config_dir}/${made} ONLY_IF_DIFFERENT)
        endforeach()
        file(GLOB libzip_sources ${STRIVO_LIBZIP_SOURCE}/zip_*.c)
        list(FILTER libzip_sources EXCLUDE REGEX
             "/zip_(algorithm_bzip2|algorithm_xz|crypto_.*|.*winzip_aes.*|random_unix|random_uwp|mkstempm|source_file_stdio_named)\\.c$")
        add_library(strivo_libzip STATIC ${libzip_sources} ${config_dir}/zip_err_str.c)
        target_include_directories(strivo_libzip SYSTEM PUBLIC ${STRIVO_LIBZIP_SOURCE} ${config_dir})
        set(ZLIB_USE_STATIC_LIBS ON)
        find_package(ZLIB REQUIRED)
        # advapi32 for the random names of files it writes, which reading never does.
        target_link_libraries(strivo_libzip PRIVATE ZLIB::ZLIB advapi32)
        target_compile_options(strivo_libzip PRIVATE -w)
    endif()
    set(zip_libraries strivo_libzip)
else()
    # Through pkg-config: Debian's CMake files for libzip also name its
    # command-line tools, which are another package.
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip>=1.7)
    set(zip_libraries PkgConfig::LIBZIP)
endif()
