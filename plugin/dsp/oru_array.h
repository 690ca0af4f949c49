// A zero-filled array in the run-time library's memory, owned by one object. A resize that cannot get its
// memory keeps the old array, so the owner can carry on with the size it had.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>

#include "orurt.h"

namespace sirrel {

template <typename T> class OruArray {
public:
    OruArray() = default;
    ~OruArray() { MemoryFree(data_); }
    OruArray(const OruArray &) = delete;
    OruArray &operator=(const OruArray &) = delete;

    // New content is all zeros. Returns false (and keeps the old array) when the memory cannot be had.
    bool Resize(uint32_t count)
    {
        const uint64_t bytes = uint64_t(count) * sizeof(T);
        if (bytes > UINT32_MAX)
            return false;
        void *block = MemoryAlloc(bytes == 0 ? 1u : uint32_t(bytes));
        if (!block)
            return false;
        std::memset(block, 0, size_t(bytes));
        MemoryFree(data_);
        data_ = static_cast<T *>(block);
        size_ = count;
        return true;
    }

    void Swap(OruArray &other)
    {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
    }

    T *data() { return data_; }
    const T *data() const { return data_; }
    uint32_t size() const { return size_; }
    T &operator[](uint32_t i) { return data_[i]; }
    const T &operator[](uint32_t i) const { return data_[i]; }

private:
    T *data_ = nullptr;
    uint32_t size_ = 0;
};

} // namespace sirrel
