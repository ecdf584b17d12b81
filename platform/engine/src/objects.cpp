// The registry of paths, clips, brushes, colour translations and transforms.
#include <map>

#include "engine_internal.h"
#include "platform/engine_ctl.h"

namespace platform::engine {
namespace {

using Registry = std::map<const void*, std::unique_ptr<EngineObject>>;

Registry& Objects() {
    static Registry objects;
    return objects;
}

// Nodes of removed objects, empty, for the next inserts: drawing registers
// and removes several objects for every call it plays. Never destroyed, as
// the spare objects.
constexpr size_t kSpareNodes = 32;
Spares<Registry::node_type, kSpareNodes>& SpareNodes() {
    static auto* nodes = new Spares<Registry::node_type, kSpareNodes>;
    return *nodes;
}

} // namespace

void InsertObjectLocked(std::unique_ptr<EngineObject> obj) {
    const void* key = obj->Record();
    auto& spare = SpareNodes();
    if (spare.Empty()) {
        Objects()[key] = std::move(obj);
        return;
    }
    Registry::node_type node = spare.Pop();
    node.key() = key;
    node.mapped() = std::move(obj);
    // Two live objects never share a record's address, so the key is new.
    Objects().insert(std::move(node));
}

EngineObject* FindObjectLocked(const void* record) {
    if (!record) return nullptr;
    auto it = Objects().find(record);
    return it == Objects().end() ? nullptr : it->second.get();
}

std::unique_ptr<EngineObject> RemoveObjectLocked(const void* record) {
    Registry::node_type node = Objects().extract(record);
    if (node.empty()) return nullptr;
    std::unique_ptr<EngineObject> obj = std::move(node.mapped());
    auto& spare = SpareNodes();
    if (!spare.Full()) spare.Push(std::move(node));
    return obj;
}

} // namespace platform::engine

namespace platform::test {

long LiveEngineObjects() {
    std::lock_guard lock(platform::engine::EngineLock());
    return static_cast<long>(platform::engine::Objects().size());
}

} // namespace platform::test
