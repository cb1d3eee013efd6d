#pragma once

#include <cstddef>
#include <deque>
#include <utility>

// What a simulated peer keeps of what it received: the newest entries, at most Limit() of
// them, so that a simulator serving for weeks keeps a record of bounded size. Read like a
// container, oldest first; Total() counts every entry ever added, the dropped ones too.
template <class T>
class CSimRecord {
  public:
    using const_iterator = typename std::deque<T>::const_iterator;
    using value_type = T;

    explicit CSimRecord(size_t limit) : m_nLimit(limit) {}

    void Add(T entry) {
        ++m_nTotal;
        if (m_nLimit == 0)
            return;
        if (m_entries.size() >= m_nLimit)
            m_entries.pop_front();
        m_entries.push_back(std::move(entry));
    }
    size_t Limit() const { return m_nLimit; }
    size_t Total() const { return m_nTotal; }
    void Clear() {
        m_entries.clear();
        m_nTotal = 0;
    }

    size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }
    const T& operator[](size_t i) const { return m_entries[i]; }
    const T& back() const { return m_entries.back(); }
    const_iterator begin() const { return m_entries.begin(); }
    const_iterator end() const { return m_entries.end(); }

  private:
    size_t m_nLimit;
    size_t m_nTotal = 0;
    std::deque<T> m_entries;
};
