#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

// Texts and pictures looked up by numeric id: in the built-in English set, or
// in a language library that answers the same ids.
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

// The resources in force: the built-in English set, or the language source
// switched in. The program owns one and passes it to whoever looks texts up
// or switches the language; each instance answers on its own.
class Resources {
public:
    Resources() = default;
    Resources(const Resources&) = delete;
    Resources& operator=(const Resources&) = delete;

    // Null returns to the built-in set. Safe while another thread looks up a
    // text.
    void Switch(std::shared_ptr<const ResourceSource> source);
    // The source switched in; null while the built-in set is in force.
    std::shared_ptr<const ResourceSource> InForce() const;

    // Look-up in the resources in force, falling back to the built-in English
    // text for an id the language lacks; empty when neither has it.
    std::string Text(ResourceKind kind, int id, int item = 0) const;
    std::string String(int id) const { return Text(ResourceKind::String, id); }
    // String look-up as a status text takes it; valid while this object is.
    std::function<std::string(int stringId)> StringLookup() const {
        return [this](int stringId) { return String(stringId); };
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const ResourceSource> inForce_;
};
