#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

// A pointer array kept in ascending order of a list of signed column keys,
// most significant first; a negative key sorts that column in reverse. Each
// kind of list supplies its column comparison through Columns:
//     static int CompareColumn(const T& a, const T& b, int column);
// returning -1, 0 or 1 for the column's natural (positive-key) order.
//
// An owning array holds std::unique_ptr<T> and deletes its elements; a
// non-owning one holds plain pointers to records that live elsewhere.
template <class T, class Columns, bool Owning = false> class SortedObArray {
public:
    using Element = T;
    using Slot = std::conditional_t<Owning, std::unique_ptr<T>, T*>;
    using InsertArg = std::conditional_t<Owning, std::unique_ptr<T>&&, T*>;

    SortedObArray() = default;
    explicit SortedObArray(int key) { m_keys.push_back(key); }
    SortedObArray(const SortedObArray&) = delete;
    SortedObArray& operator=(const SortedObArray&) = delete;
    SortedObArray(SortedObArray&&) noexcept = default;
    SortedObArray& operator=(SortedObArray&&) noexcept = default;

    int GetSize() const { return static_cast<int>(m_elements.size()); }
    bool IsEmpty() const { return m_elements.empty(); }
    T* GetAt(int i) const { return Raw(m_elements[static_cast<size_t>(i)]); }
    T* operator[](int i) const { return GetAt(i); }
    auto begin() const { return m_elements.begin(); }
    auto end() const { return m_elements.end(); }
    void Reserve(int n) { m_elements.reserve(static_cast<size_t>(n)); }

    // Binary search of [low, high): the index of an element equal to the
    // probe, else -1 - (the index at which the probe would be inserted).
    int Find(const T& probe) const { return Find(probe, 0, GetSize()); }
    int Find(const T& probe, int low, int high) const {
        int mid = (low + high) / 2;
        while (low != high) {
            const int c = Compare(probe, *GetAt(mid));
            if (c < 0)
                high = mid;
            else if (c > 0)
                low = mid + 1;
            else
                return mid;
            mid = (low + high) / 2;
        }
        return -1 - mid;
    }

    // Always inserts, before an equal element when there is one.
    int Insert(InsertArg element) {
        int i = Find(*element);
        if (i < 0)
            i = -1 - i;
        m_elements.insert(m_elements.begin() + i, std::move(element));
        return i;
    }

    // Inserts unless an equal element exists; then returns -1 and, for an
    // owning array, leaves the caller's pointer untouched.
    int InsertUnique(InsertArg element) {
        int i = Find(*element);
        if (i >= 0)
            return -1;
        i = -1 - i;
        m_elements.insert(m_elements.begin() + i, std::move(element));
        return i;
    }

    // Inserts many elements at once instead of one search and one shift of
    // the tail each, which costs the square of the list's length when
    // thousands arrive in no particular order: the new elements are sorted,
    // placed by binary search, and the held ones move at most once. An
    // element equal to one already held, or to an earlier one of `elements`,
    // is not inserted (an owning array lets it be destroyed with the
    // argument). Returns the inserted elements in sorted order.
    std::vector<T*> InsertManyUnique(std::vector<Slot> elements) {
        std::stable_sort(elements.begin(), elements.end(), [this](const Slot& a, const Slot& b) {
            return Compare(*Raw(a), *Raw(b)) < 0;
        });
        std::vector<Slot> kept;
        std::vector<size_t> at; // where each kept element goes among the held ones
        const T* previous = nullptr;
        int low = 0;
        for (Slot& element : elements) {
            const T* raw = Raw(element);
            const bool repeated = previous && Compare(*raw, *previous) == 0;
            previous = raw;
            if (repeated)
                continue;
            const int found = Find(*raw, low, GetSize());
            if (found >= 0)
                continue;
            low = -1 - found;
            at.push_back(static_cast<size_t>(low));
            kept.push_back(std::move(element));
        }
        std::vector<T*> inserted;
        inserted.reserve(kept.size());
        for (const Slot& element : kept)
            inserted.push_back(Raw(element));
        // Fill from the back: the held elements from at[j] up move past the
        // j + 1 new ones that sort before them.
        size_t end = m_elements.size();
        m_elements.resize(end + kept.size());
        for (size_t j = kept.size(); j-- > 0;) {
            const auto first = m_elements.begin() + static_cast<std::ptrdiff_t>(at[j]);
            const auto last = m_elements.begin() + static_cast<std::ptrdiff_t>(end);
            std::move_backward(first, last, last + static_cast<std::ptrdiff_t>(j + 1));
            m_elements[at[j] + j] = std::move(kept[j]);
            end = at[j];
        }
        return inserted;
    }

    // Appends without searching; the caller guarantees the order (for
    // example a file being read keeps its own order).
    void Append(InsertArg element) { m_elements.push_back(std::move(element)); }

    Slot RemoveAt(int i) {
        Slot s = std::move(m_elements[static_cast<size_t>(i)]);
        m_elements.erase(m_elements.begin() + i);
        return s;
    }
    void RemoveAll() { m_elements.clear(); }

    // Removes every element for which pred(const T&) holds, keeping order.
    template <class Pred> int RemoveIf(Pred pred) {
        const auto before = m_elements.size();
        std::erase_if(m_elements, [&](const Slot& s) { return pred(*Raw(s)); });
        return static_cast<int>(before - m_elements.size());
    }

    // Keys.
    const std::vector<int32_t>& GetSortKeys() const { return m_keys; }
    void SetSortKeys(std::vector<int32_t> keys) { m_keys = std::move(keys); }
    void SetSortKey(int column) {
        m_keys.clear();
        m_keys.push_back(column);
    }
    // The header-click rule: a click on the only (or last) key toggles its
    // direction, a click on another existing key keeps its direction, and a
    // new column starts with the value passed.
    void SetSortColumn(int column, bool additive) {
        const int wanted = std::abs(column);
        int found = -1;
        for (size_t k = 0; k < m_keys.size(); ++k)
            if (std::abs(m_keys[k]) == wanted) {
                found = static_cast<int>(k);
                break;
            }
        int value = column;
        if (found >= 0) {
            value = m_keys[static_cast<size_t>(found)];
            if (found == static_cast<int>(m_keys.size()) - 1)
                value = -value;
        }
        if (!additive) {
            m_keys.assign(1, value);
            return;
        }
        if (found >= 0)
            m_keys.erase(m_keys.begin() + found);
        m_keys.push_back(value);
    }
    int GetSortColumn(bool absolute = false) const {
        if (m_keys.empty())
            return 0;
        return absolute ? std::abs(m_keys.front()) : m_keys.front();
    }

    static int CompareColumn(const T& a, const T& b, int column, bool reverse) {
        const int c = Columns::CompareColumn(a, b, column);
        return reverse ? -c : c;
    }
    int Compare(const T& a, const T& b) const {
        for (int32_t key : m_keys) {
            const int c = CompareColumn(a, b, std::abs(key), key < 0);
            if (c != 0)
                return c;
        }
        return 0;
    }

private:
    static T* Raw(const Slot& s) {
        if constexpr (Owning)
            return s.get();
        else
            return s;
    }

    std::vector<Slot> m_elements;
    std::vector<int32_t> m_keys;
};

// Three-way comparison of two values, for the column tables.
template <class V> constexpr int CompareValues(const V& a, const V& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}
