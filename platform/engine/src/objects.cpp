// The registry of paths, clips, brushes, colour translations and transforms.
#include <map>

#include "engine_internal.h"
#include "platform/engine_ctl.h"

namespace platform::engine {
namespace {

std::map<const void*, std::unique_ptr<EngineObject>>& Objects() {
    static std::map<const void*, std::unique_ptr<EngineObject>> objects;
    return objects;
}

} // namespace

void InsertObjectLocked(std::unique_ptr<EngineObject> obj) {
    const void* key = obj->Record();
    Objects()[key] = std::move(obj);
}

EngineObject* FindObjectLocked(const void* record) {
    if (!record) return nullptr;
    auto it = Objects().find(record);
    return it == Objects().end() ? nullptr : it->second.get();
}

std::unique_ptr<EngineObject> RemoveObjectLocked(const void* record) {
    auto it = Objects().find(record);
    if (it == Objects().end()) return nullptr;
    auto obj = std::move(it->second);
    Objects().erase(it);
    return obj;
}

} // namespace platform::engine

namespace platform::test {

long LiveEngineObjects() {
    std::lock_guard lock(platform::engine::EngineLock());
    return static_cast<long>(platform::engine::Objects().size());
}

} // namespace platform::test
