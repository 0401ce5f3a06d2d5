#pragma once

#include <string>

#include "database/http_download.h"

class Resources;

// The line the download error box adds below its general text: what the
// failed download failed on, in the language `resources` have in force. Empty for a stored
// download, whose failure (if any) lies elsewhere.
std::string DownloadFailureLine(const Resources& resources, const DownloadResult& download);
