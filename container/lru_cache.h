// A least-recently-used cache of a fixed number of slots, keyed by tile number.
#pragma once

#include <cstdint>
#include <iterator>
#include <list>
#include <map>
#include <optional>
#include <utility>

// A lookup moves its slot to the front, a new key takes the back slot (freeing what it held), and
// a removed key leaves an empty slot at the back. Slots are made as keys arrive, never more than
// the capacity, and then only reordered: the capacity comes from the file's tile size, and tiny
// tiles would otherwise ask for millions of slots of which a session fills a handful. Values are
// freed by their own destructors.
template <typename Value>
class CLruCache {
public:
    explicit CLruCache(std::uint32_t capacity) : m_capacity(capacity) {}

    std::uint32_t Capacity() const { return m_capacity; }
    std::uint32_t Count() const { return static_cast<std::uint32_t>(m_keys.size()); }

    // The value of `key`, now the most recent one; null when absent.
    Value* Find(std::uint32_t key) {
        const auto found = m_keys.find(key);
        if (found == m_keys.end()) return nullptr;
        m_slots.splice(m_slots.begin(), m_slots, found->second);
        return &*found->second->value;
    }

    // Whether `key` is present, without making it more recent.
    bool Contains(std::uint32_t key) const { return m_keys.contains(key); }

    void Insert(std::uint32_t key, Value value) {
        if (m_capacity == 0) return;
        const auto found = m_keys.find(key);
        const bool backInUse = !m_slots.empty() && m_slots.back().value;
        if (found == m_keys.end() && (m_slots.empty() || backInUse) && m_slots.size() < m_capacity)
            m_slots.emplace_back(); // empty slots always lie at the back
        auto slot = std::prev(m_slots.end());
        if (found != m_keys.end()) {
            slot = found->second;
        } else if (slot->value) {
            m_keys.erase(slot->key);
        }
        slot->key = key;
        slot->value = std::move(value);
        m_slots.splice(m_slots.begin(), m_slots, slot);
        m_keys[key] = slot;
    }

    // Hands the value of `key` to the caller; its slot becomes empty.
    std::optional<Value> Take(std::uint32_t key) {
        const auto found = m_keys.find(key);
        if (found == m_keys.end()) return std::nullopt;
        const auto slot = found->second;
        m_keys.erase(found);
        std::optional<Value> value = std::move(slot->value);
        slot->value.reset();
        m_slots.splice(m_slots.end(), m_slots, slot);
        return value;
    }

    void Remove(std::uint32_t key) { Take(key); }

    void Clear() {
        for (auto& slot : m_slots)
            slot.value.reset();
        m_keys.clear();
    }

private:
    struct Slot {
        std::uint32_t key = 0;
        std::optional<Value> value;
    };
    using SlotList = std::list<Slot>;

    std::uint32_t m_capacity;
    SlotList m_slots;
    std::map<std::uint32_t, typename SlotList::iterator> m_keys;
};
