#include "common/working_files.h"

#include "common/file_io.h"

#include <cstdio>

std::string BufferFileName(int index) {
    char name[24];
    std::snprintf(name, sizeof name, "FileBuffer%02d", index);
    return name;
}

void DeleteWorkingFiles(const std::string& programFolder) {
    const std::string base = programFolder + WorkingFile::DatabaseBase;
    for (const char* ext : {WorkingFile::TextExt, WorkingFile::BinExt, WorkingFile::DfuExt})
        RemoveRegularFile(base + ext);  // never a link or device someone put there
}
