#pragma once

#include <algorithm>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

// Inserts every record into a pointer array, one after the other, each at the
// position the array's binary search reports: exactly the order that calling
// list.Insert for each record in turn gives, including where records that
// compare equal end up.
//
// Done with Insert on a flat array, a list of n records moves about n*n/4
// pointers. Here the records go into blocks of at most a few hundred
// pointers with a table of where each block starts, so the search reads
// element i in O(log blocks) and an insertion moves one block only; the
// result is written back into the array at the end. What remains is the
// comparisons themselves, which any sort pays.
template <class List>
void InsertAllSorted(List& list, std::span<typename List::Element* const> records) {
    using T = typename List::Element;
    static_assert(std::is_same_v<typename List::Slot, T*>, "only for arrays that do not own");
    constexpr size_t kSplitAt = 512;

    std::vector<std::vector<T*>> blocks;
    std::vector<int> starts; // the index of each block's first element
    int total = 0;
    for (T* existing : list) {
        if (blocks.empty() || blocks.back().size() == kSplitAt / 2) {
            blocks.emplace_back();
            starts.push_back(total);
        }
        blocks.back().push_back(existing);
        ++total;
    }
    const auto blockOf = [&](int index) {
        return static_cast<size_t>(std::upper_bound(starts.begin(), starts.end(), index) -
                                   starts.begin() - 1);
    };
    const auto at = [&](int index) -> const T& {
        const size_t b = blockOf(index);
        return *blocks[b][static_cast<size_t>(index - starts[b])];
    };

    for (T* record : records) {
        // The array's own search, step for step.
        int low = 0;
        int high = total;
        int mid = (low + high) / 2;
        while (low != high) {
            const int c = list.Compare(*record, at(mid));
            if (c < 0)
                high = mid;
            else if (c > 0)
                low = mid + 1;
            else
                break;
            mid = (low + high) / 2;
        }
        ++total;
        if (blocks.empty()) {
            blocks.emplace_back(1, record);
            starts.push_back(0);
            continue;
        }
        const size_t b = blockOf(mid);
        std::vector<T*>& block = blocks[b];
        block.insert(block.begin() + (mid - starts[b]), record);
        for (size_t k = b + 1; k < starts.size(); ++k)
            ++starts[k];
        if (block.size() >= kSplitAt) {
            const size_t half = block.size() / 2;
            std::vector<T*> upper(block.begin() + static_cast<std::ptrdiff_t>(half), block.end());
            block.resize(half);
            blocks.insert(blocks.begin() + static_cast<std::ptrdiff_t>(b) + 1, std::move(upper));
            starts.insert(starts.begin() + static_cast<std::ptrdiff_t>(b) + 1,
                          starts[b] + static_cast<int>(half));
        }
    }

    list.RemoveAll();
    list.Reserve(total);
    for (const auto& block : blocks)
        for (T* record : block)
            list.Append(record);
}
