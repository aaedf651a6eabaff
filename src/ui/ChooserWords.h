#pragma once

// The file choosers' titles and the names of their filters, as both faces
// show them: Chinese (UTF-8), from the catalogue.

namespace strivo::chooser_words {

const char* ExportCsvTitle();
const char* CsvFiles();
const char* ExportTcxTitle();
const char* TcxFiles();
const char* ExportFitTitle();
const char* ImportFilesTitle();
const char* RunFiles();
const char* AllFiles();
const char* ImportFolderTitle();

}  // namespace strivo::chooser_words
