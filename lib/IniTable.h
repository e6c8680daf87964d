#pragma once
// The chained hash table of IniFile: entries keyed by a folded name, hashed with the ELF hash
// into a prime-sized bucket array, and linked in insertion order. The table grows to the next
// prime (and rehashes) when it holds more entries than buckets.
#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lib/IniFile.h"

namespace vorn {

template <class T>
class CIniTable {
public:
    struct Node {
        std::string folded;
        T value;
        Node* chain = nullptr;  // next in the same bucket
        Node* prev = nullptr;   // insertion order
        Node* next = nullptr;
    };

    explicit CIniTable(std::size_t request) : m_buckets(IniTableSize(request), nullptr) {}
    ~CIniTable() { Clear(); }
    CIniTable(const CIniTable&) = delete;
    CIniTable& operator=(const CIniTable&) = delete;

    T* Find(std::string_view folded) const {
        for (Node* n = m_buckets[Bucket(folded)]; n; n = n->chain) {
            if (n->folded == folded) {
                return &n->value;
            }
        }
        return nullptr;
    }

    // Appends an entry whose name is not in the table yet.
    T* Append(std::string folded, T value) {
        Node* n = new Node{std::move(folded), std::move(value)};
        std::size_t b = Bucket(n->folded);
        n->chain = m_buckets[b];
        m_buckets[b] = n;
        n->prev = m_tail;
        (m_tail ? m_tail->next : m_head) = n;
        m_tail = n;
        if (++m_count > m_buckets.size()) {
            Grow();
        }
        return &n->value;
    }

    bool Remove(std::string_view folded) {
        Node** link = &m_buckets[Bucket(folded)];
        while (*link && (*link)->folded != folded) {
            link = &(*link)->chain;
        }
        Node* n = *link;
        if (!n) {
            return false;
        }
        *link = n->chain;
        (n->prev ? n->prev->next : m_head) = n->next;
        (n->next ? n->next->prev : m_tail) = n->prev;
        delete n;
        --m_count;
        return true;
    }

    void Clear() {
        for (Node* n = m_head; n;) {
            Node* next = n->next;
            delete n;
            n = next;
        }
        m_head = m_tail = nullptr;
        m_count = 0;
        std::fill(m_buckets.begin(), m_buckets.end(), nullptr);
    }

    std::size_t Count() const { return m_count; }
    std::size_t BucketCount() const { return m_buckets.size(); }
    const Node* First() const { return m_head; }

private:
    std::size_t Bucket(std::string_view folded) const {
        return IniElfHash(folded) % m_buckets.size();
    }

    void Grow() {
        std::size_t size = IniNextTableSize(m_buckets.size());
        if (size == m_buckets.size()) {
            return;
        }
        m_buckets.assign(size, nullptr);
        for (Node* n = m_head; n; n = n->next) {
            std::size_t b = Bucket(n->folded);
            n->chain = m_buckets[b];
            m_buckets[b] = n;
        }
    }

    std::vector<Node*> m_buckets;
    Node* m_head = nullptr;
    Node* m_tail = nullptr;
    std::size_t m_count = 0;
};

}  // namespace vorn
