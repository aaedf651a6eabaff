# expat and zlib for the readers of GPX, TCX and gzip (src/files/), as
# `text_format_libraries`. Linux links Debian's libraries. The Windows build
# compiles expat from the C sources of Debian's own source package, which
# scripts/expat-source.sh copies into the build folder (no copy of expat
# lives in the tree), and links libz-mingw-w64-dev's static zlib, so no DLL
# travels beside the programs.
if(WIN32)
    set(STRIVO_EXPAT_SOURCE ${CMAKE_BINARY_DIR}/expat CACHE PATH "Folder for expat's C sources")
    if(NOT EXISTS ${STRIVO_EXPAT_SOURCE}/xmlparse.c)
        message(FATAL_ERROR "no xmlparse.c in ${STRIVO_EXPAT_SOURCE}: run "
                            "scripts/expat-source.sh ${STRIVO_EXPAT_SOURCE} (make windows-build does)")
    endif()
    if(NOT TARGET strivo_expat)
        enable_language(C)
        # What Debian's build configures, less what Windows does not have:
        # the random salt comes from rand_s there.
        set(config_dir ${CMAKE_BINARY_DIR}/expat-config)
        file(WRITE ${config_dir}/expat_config.h.new
             "#define BYTEORDER 1234\n#define XML_CONTEXT_BYTES 1024\n"
             "#define XML_DTD 1\n#define XML_NS 1\n")
        file(COPY_FILE ${config_dir}/expat_config.h.new ${config_dir}/expat_config.h
             ONLY_IF_DIFFERENT)
        add_library(strivo_expat STATIC ${STRIVO_EXPAT_SOURCE}/xmlparse.c
                                        ${STRIVO_EXPAT_SOURCE}/xmlrole.c
                                        ${STRIVO_EXPAT_SOURCE}/xmltok.c)
        target_include_directories(strivo_expat SYSTEM PUBLIC ${STRIVO_EXPAT_SOURCE}
                                   PRIVATE ${config_dir})
        # Linked in, not imported from a DLL.
        target_compile_definitions(strivo_expat PUBLIC XML_STATIC)
        target_compile_options(strivo_expat PRIVATE -w)
    endif()
    set(ZLIB_USE_STATIC_LIBS ON)
    find_package(ZLIB REQUIRED)
    set(text_format_libraries strivo_expat ZLIB::ZLIB)
else()
    find_package(EXPAT REQUIRED)
    find_package(ZLIB REQUIRED)
    set(text_format_libraries EXPAT::EXPAT ZLIB::ZLIB)
endif()

# libzip for the archives runners download (cmake/ZipLibrary.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/ZipLibrary.cmake)
list(APPEND text_format_libraries ${zip_libraries})
