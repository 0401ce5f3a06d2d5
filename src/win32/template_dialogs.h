#pragma once

#include "win32/dialog_template_bytes.h"

class Resources;

// The language and download selection dialogs as in-memory templates, made
// from the same ids, kinds and places in dialog units as the Qt dialogs and
// with the texts of the resources in force. The controls come in tab order.
DialogBytes::Dialog LanguageDialogTemplate(const Resources& resources);
DialogBytes::Dialog DownloadSettingDialogTemplate(const Resources& resources);
