#pragma once

#include <memory>
#include <optional>
#include <string>

// Texts and pictures looked up by numeric id in the resources in force: the
// built-in English set, or a language library that answers the same ids.
enum class ResourceKind {
    String,      // string table: id
    MenuItem,    // menu `id`, item = command id (0 for the pop-up's title)
    DialogItem,  // dialog template `id`, item = control id (0 for the caption)
    Bitmap,      // bitmap `id`: the bytes of a BMP file
};

class ResourceSource {
public:
    virtual ~ResourceSource() = default;
    virtual std::optional<std::string> Find(ResourceKind kind, int id, int item) const = 0;
};

// The built-in English set.
const ResourceSource& BuiltInResources();

// Switches the resources in force; null returns to the built-in set. Safe
// while another thread looks up a text.
void SetResourcesInForce(std::shared_ptr<const ResourceSource> source);
std::shared_ptr<const ResourceSource> ResourcesInForce();

// Look-up in the resources in force, falling back to the built-in English
// text for an id the language lacks; empty when neither has it.
std::string ResourceText(ResourceKind kind, int id, int item = 0);
inline std::string LoadResourceString(int id) { return ResourceText(ResourceKind::String, id); }
