# cmake -DPO_DIR=po -DOUTPUT=Catalogs.cpp -P CompileCatalogs.cmake
# Compiles every <language>.po of PO_DIR into a C++ table (see
# src/app/Translate.h), so that the programs carry their translations and
# need no catalog files beside them. The .po files stay the one source that
# translators edit. As msgfmt does, it leaves out fuzzy and untranslated
# entries; the header's Plural-Forms expression becomes a C++ function.
# To take in new messages: xgettext (see tests/app/translations.sh), then
# msgmerge --update po/<language>.po with its output.
cmake_minimum_required(VERSION 3.25)

# CMake's lists split at ';' and group at brackets; inside messages these
# three travel as control characters and come back when the file is written.
string(ASCII 1 semicolon)
string(ASCII 2 open)
string(ASCII 3 close)

set(body "")
set(table "")
set(index 0)

# Appends the entry gathered so far to `entries`, unless msgfmt would leave it out.
macro(flush_entry)
    if(DEFINED msgid AND NOT fuzzy AND NOT msgid STREQUAL "\"\"")
        set(complete TRUE)
        set(forms "")
        if(msgid_plural STREQUAL "")
            set(form_count 1)
            set(msgstr_plural_0 "${msgstr}")
        else()
            set(form_count ${nplurals})
        endif()
        math(EXPR last "${form_count} - 1")
        foreach(form RANGE ${last})
            if(NOT DEFINED msgstr_plural_${form})
                set(complete FALSE)
            endif()
            # An empty string before a continued message reads as nothing.
            string(REGEX REPLACE "^\"\" \"" "\"" msgstr_plural_${form} "${msgstr_plural_${form}}")
            if(msgstr_plural_${form} STREQUAL "\"\"")
                set(complete FALSE)
            endif()
            string(APPEND forms "${msgstr_plural_${form}}, ")
        endforeach()
        if(complete)
            set(plural nullptr)
            if(NOT msgid_plural STREQUAL "")
                set(plural "${msgid_plural}")
            endif()
            string(REGEX REPLACE "^\"\" \"" "\"" msgid "${msgid}")
            string(APPEND entries "    {${msgid}, ${plural}, {${forms}}},\n")
        endif()
    endif()
    unset(msgid)
    set(msgid_plural "")
    set(msgstr "")
    foreach(form RANGE 9)
        unset(msgstr_plural_${form})
    endforeach()
    set(fuzzy FALSE)
    set(field "")
endmacro()

file(GLOB catalogs "${PO_DIR}/*.po")
list(SORT catalogs)
foreach(po IN LISTS catalogs)
    get_filename_component(language ${po} NAME_WE)
    file(READ ${po} text)
    if(NOT text MATCHES "\"Plural-Forms: *nplurals *= *([0-9]+) *; *plural *= *([^;\\\"]+)")
        message(FATAL_ERROR "${po}: no Plural-Forms in the header")
    endif()
    set(nplurals ${CMAKE_MATCH_1})
    set(expression "${CMAKE_MATCH_2}")
    if(nplurals GREATER 6)
        message(FATAL_ERROR "${po}: more plural forms than a CatalogMessage holds")
    endif()
    string(REPLACE ";" "${semicolon}" text "${text}")
    string(REPLACE "[" "${open}" text "${text}")
    string(REPLACE "]" "${close}" text "${text}")
    string(REPLACE "\r" "" text "${text}")
    string(REPLACE "\n" ";" lines "${text};")

    set(entries "")
    flush_entry()
    foreach(line IN LISTS lines)
        if(line MATCHES "^#,.*fuzzy")
            flush_entry()
            set(fuzzy TRUE)
        elseif(line MATCHES "^#" OR line STREQUAL "")
            if(NOT field STREQUAL "")
                flush_entry()
            endif()
        elseif(line MATCHES "^msgctxt ")
            message(FATAL_ERROR "${po}: message contexts are not used here: ${line}")
        elseif(line MATCHES "^(msgid|msgid_plural|msgstr|msgstr${open}([0-9])${close}) +(\".*\")$")
            set(keyword ${CMAKE_MATCH_1})
            set(form "${CMAKE_MATCH_2}")
            set(string "${CMAKE_MATCH_3}")
            if(keyword STREQUAL "msgid" AND NOT field STREQUAL "")
                flush_entry()
            endif()
            if(NOT form STREQUAL "")
                set(field msgstr_plural_${form})
            else()
                set(field ${keyword})
            endif()
            set(${field} "${string}")
        elseif(line MATCHES "^\".*\"$" AND NOT field STREQUAL "")
            # A continued string: adjacent literals, as C++ joins them.
            string(APPEND ${field} " ${line}")
        else()
            message(FATAL_ERROR "${po}: a line this compiler does not read: ${line}")
        endif()
    endforeach()
    flush_entry()

    string(APPEND body "[[maybe_unused]] unsigned long Plural${index}([[maybe_unused]] unsigned long n) {\n"
                       "    return static_cast<unsigned long>(${expression});\n}\n"
                       "const CatalogMessage kMessages${index}[] = {\n${entries}};\n\n")
    string(APPEND table "    {\"${language}\", ${nplurals}, Plural${index}, kMessages${index}},\n")
    math(EXPR index "${index} + 1")
endforeach()

string(CONCAT source "// Made by cmake/CompileCatalogs.cmake from po/*.po at build time; edit those.\n"
           "#include \"text/Catalog.h\"\n\nnamespace strivo {\nnamespace {\n\n${body}"
           "const MessageCatalog kCatalogs[] = {\n${table}    {nullptr, 0, nullptr, {}},\n};\n\n"
           "}  // namespace\n\n"
           "std::span<const MessageCatalog> BuiltInCatalogs() {\n"
           "    return std::span(kCatalogs).first(${index});\n}\n\n}  // namespace strivo\n")
string(REPLACE "${semicolon}" ";" source "${source}")
string(REPLACE "${open}" "[" source "${source}")
string(REPLACE "${close}" "]" source "${source}")
# Only a changed table is written, so that an unchanged one compiles no more.
if(EXISTS ${OUTPUT})
    file(READ ${OUTPUT} before)
endif()
if(NOT before STREQUAL source)
    file(WRITE ${OUTPUT} "${source}")
endif()
