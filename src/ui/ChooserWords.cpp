#include "ui/ChooserWords.h"

#include "text/Catalog.h"

namespace strivo::chooser_words {

const char* ExportCsvTitle() {
    return Zh(N_("Export data"));
}
const char* CsvFiles() {
    return Zh(N_("Excel files (*.csv)"));
}
const char* ExportTcxTitle() {
    return Zh(N_("Export TCX"));
}
const char* TcxFiles() {
    return Zh(N_("TCX files (*.tcx)"));
}
const char* ExportFitTitle() {
    return Zh(N_("Export FIT"));
}
const char* ImportFilesTitle() {
    return Zh(N_("Import run files"));
}
const char* RunFiles() {
    return Zh(N_("Run files (*.gpx;*.tcx;*.fit;*.csv;*.gz;*.zip)"));
}
const char* AllFiles() {
    return Zh(N_("All files"));
}
const char* ImportFolderTitle() {
    return Zh(N_("Import a folder"));
}

}  // namespace strivo::chooser_words
