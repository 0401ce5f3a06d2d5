#include "ui/resources.h"

#include <mutex>

#include "ui/builtin_resource_tables.h"

namespace {

class BuiltInEnglish final : public ResourceSource {
public:
    std::optional<std::string> Find(ResourceKind kind, int id, int item) const override {
        return FindBuiltInResource(kind, id, item);
    }
};

std::mutex inForceMutex;
std::shared_ptr<const ResourceSource> inForce;

}  // namespace

const ResourceSource& BuiltInResources() {
    static const BuiltInEnglish builtIn;
    return builtIn;
}

void SetResourcesInForce(std::shared_ptr<const ResourceSource> source) {
    std::lock_guard lock(inForceMutex);
    inForce = std::move(source);
}

std::shared_ptr<const ResourceSource> ResourcesInForce() {
    std::lock_guard lock(inForceMutex);
    return inForce;
}

std::string ResourceText(ResourceKind kind, int id, int item) {
    // The copy keeps a library's table alive while it is read, even if the
    // UI thread switches languages meanwhile.
    if (const auto source = ResourcesInForce()) {
        if (auto text = source->Find(kind, id, item))
            return *text;
    }
    return BuiltInResources().Find(kind, id, item).value_or(std::string{});
}
