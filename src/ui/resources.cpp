#include "ui/resources.h"

#include "ui/builtin_resource_tables.h"

namespace {

class BuiltInEnglish final : public ResourceSource {
public:
    std::optional<std::string> Find(ResourceKind kind, int id, int item) const override {
        return FindBuiltInResource(kind, id, item);
    }
};

}  // namespace

const ResourceSource& BuiltInResources() {
    static const BuiltInEnglish builtIn;
    return builtIn;
}

void Resources::Switch(std::shared_ptr<const ResourceSource> source) {
    std::lock_guard lock(mutex_);
    inForce_ = std::move(source);
}

std::shared_ptr<const ResourceSource> Resources::InForce() const {
    std::lock_guard lock(mutex_);
    return inForce_;
}

std::string Resources::Text(ResourceKind kind, int id, int item) const {
    // The copy keeps a library's table alive while it is read, even if the
    // UI thread switches languages meanwhile.
    if (const auto source = InForce()) {
        if (auto text = source->Find(kind, id, item))
            return *text;
    }
    return BuiltInResources().Find(kind, id, item).value_or(std::string{});
}
