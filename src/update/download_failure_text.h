#pragma once

#include <string>
#include <vector>

#include "database/http_download.h"

class Resources;

// The line the download error box adds below its general text: what the
// failed download failed on, in the language `resources` have in force. Empty for a stored
// download, whose failure (if any) lies elsewhere.
std::string DownloadFailureLine(const Resources& resources, const DownloadResult& download);

// What the failed download failed on as a string id with its values, as the
// history keeps a cause (id 0 for a stored download). Short, and naming no
// host: the history shows it in whatever language is in force later.
struct DownloadCause {
    int textId = 0;
    std::vector<std::string> values;
};
DownloadCause DownloadFailureCause(const DownloadResult& download);
