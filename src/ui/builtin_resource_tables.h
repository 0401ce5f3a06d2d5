#pragma once

#include <map>
#include <optional>
#include <string>
#include <tuple>

#include "ui/resources.h"

using ResourceKey = std::tuple<ResourceKind, int, int>;
using ResourceTable = std::map<ResourceKey, std::string>;

// The built-in English set is made of several tables, each kept beside what it
// belongs to: string table, menu and title (builtin_strings.cpp), dialog texts
// (builtin_dialogs.cpp), pictures (builtin_pictures.cpp).
const ResourceTable& BuiltInStringTable();
const ResourceTable& BuiltInDialogTable();
const ResourceTable& BuiltInPictureTable();

std::optional<std::string> FindBuiltInResource(ResourceKind kind, int id, int item);
