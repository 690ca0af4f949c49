// Pens, brushes and fonts shared by every window. A holder asks its cache for a description; an entry whose
// description is byte-equal is shared and counted, and the drawing object goes with its last holder. Each cache
// has its own lock, so windows on any thread may take and release objects.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "orurt.h"
#include "ui/font_engine.h"
#include "ui/lock_hold.h"

namespace sirrel {

// Descriptions are compared byte by byte, so they are plain, padding-free records, zeroed before filling.
struct PenDescription {
    uint32_t style = 0; // 0 solid
    int32_t width = 1;
    uint32_t color = 0; // 0x00BBGGRR
};

struct BrushDescription {
    uint32_t style = 0; // 0 solid
    uint32_t color = 0;
    uint32_t hatch = 0;
};

struct FontDescription {
    int32_t height = 13; // pixels
    int32_t weight = 400;
    uint8_t italic = 0;
    uint8_t underline = 0;
    uint8_t mapsCharacterSet = 0; // 0: text bytes are Latin-1
    uint8_t characterSet = 0;     // a code of the "Character set" list
    char face[32] = {};           // family name, zero-filled

    static FontDescription Make(const std::string &family, int32_t height, bool bold = false);
    // The same font reading text bytes in that character set.
    FontDescription WithCharacterSet(uint8_t code) const;
};

// The platform side of each description. Pens and brushes are plain values on our displays; a font is a face.
struct PenObject {
    PenDescription description;
};
struct BrushObject {
    BrushDescription description;
};
struct FontObject {
    std::unique_ptr<FontFace> face; // null when the family cannot be loaded: text is then not drawn
};

template <class Description, class Object> class DrawingObjectCache {
public:
    struct Entry {
        Description description;
        int32_t references;
        std::unique_ptr<Object> object;
    };

    DrawingObjectCache() { OruThreadExclusion_Construct(&lock_); }
    ~DrawingObjectCache() { OruThreadExclusion_Destruct(&lock_, 0); }
    DrawingObjectCache(const DrawingObjectCache &) = delete;
    DrawingObjectCache &operator=(const DrawingObjectCache &) = delete;

    Entry *Acquire(const Description &description)
    {
        LockHold hold(lock_);
        for (const auto &entry : entries_) {
            if (std::memcmp(&entry->description, &description, sizeof description) == 0) {
                ++entry->references;
                return entry.get();
            }
        }
        entries_.push_back(std::make_unique<Entry>(Entry{description, 1, MakeObject(description)}));
        return entries_.back().get();
    }

    void Release(Entry *entry)
    {
        if (!entry)
            return;
        LockHold hold(lock_);
        if (--entry->references > 0)
            return;
        std::erase_if(entries_, [&](const auto &e) { return e.get() == entry; });
    }

    size_t Size()
    {
        LockHold hold(lock_);
        return entries_.size();
    }

private:
    static std::unique_ptr<Object> MakeObject(const Description &description);

    OruThreadExclusion lock_;
    std::vector<std::unique_ptr<Entry>> entries_;
};

using PenCache = DrawingObjectCache<PenDescription, PenObject>;
using BrushCache = DrawingObjectCache<BrushDescription, BrushObject>;
using FontCache = DrawingObjectCache<FontDescription, FontObject>;

template <> std::unique_ptr<PenObject> PenCache::MakeObject(const PenDescription &description);
template <> std::unique_ptr<BrushObject> BrushCache::MakeObject(const BrushDescription &description);
template <> std::unique_ptr<FontObject> FontCache::MakeObject(const FontDescription &description);

PenCache &Pens();
BrushCache &Brushes();
FontCache &Fonts();

// A window's slot for one drawing object: setting a new description releases the old entry.
template <class Cache, class Description, class Object> class DrawingObjectHolder {
public:
    using Entry = typename DrawingObjectCache<Description, Object>::Entry;

    explicit DrawingObjectHolder(Cache &(*cache)()) : cache_(cache) {}
    ~DrawingObjectHolder() { Clear(); }
    DrawingObjectHolder(const DrawingObjectHolder &) = delete;
    DrawingObjectHolder &operator=(const DrawingObjectHolder &) = delete;

    void Set(const Description &description)
    {
        Entry *previous = entry_;
        entry_ = cache_().Acquire(description);
        cache_().Release(previous);
    }
    void Clear()
    {
        cache_().Release(entry_);
        entry_ = nullptr;
    }
    Object *Get() const { return entry_ ? entry_->object.get() : nullptr; }
    const Entry *GetEntry() const { return entry_; }

private:
    Cache &(*cache_)();
    Entry *entry_ = nullptr;
};

using PenHolder = DrawingObjectHolder<PenCache, PenDescription, PenObject>;
using BrushHolder = DrawingObjectHolder<BrushCache, BrushDescription, BrushObject>;
using FontHolder = DrawingObjectHolder<FontCache, FontDescription, FontObject>;

} // namespace sirrel
