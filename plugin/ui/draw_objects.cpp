#include "ui/draw_objects.h"

#include <algorithm>

namespace sirrel {

FontDescription FontDescription::Make(const std::string &family, int32_t height, bool bold)
{
    FontDescription description;
    description.height = height;
    description.weight = bold ? 700 : 400;
    std::copy_n(family.begin(), std::min(family.size(), sizeof description.face - 1), description.face);
    return description;
}

FontDescription FontDescription::WithCharacterSet(uint8_t code) const
{
    FontDescription description = *this;
    description.mapsCharacterSet = 1;
    description.characterSet = code;
    return description;
}

template <> std::unique_ptr<PenObject> PenCache::MakeObject(const PenDescription &description)
{
    return std::make_unique<PenObject>(PenObject{description});
}

template <> std::unique_ptr<BrushObject> BrushCache::MakeObject(const BrushDescription &description)
{
    return std::make_unique<BrushObject>(BrushObject{description});
}

template <> std::unique_ptr<FontObject> FontCache::MakeObject(const FontDescription &description)
{
    const std::string family(description.face, strnlen(description.face, sizeof description.face));
    const CharacterMap &characters =
        description.mapsCharacterSet ? CharacterMapOf(description.characterSet) : Latin1Map();
    return std::make_unique<FontObject>(FontObject{
        FontFace::Open(family, description.height, description.weight >= 600, description.italic != 0, characters)});
}

PenCache &Pens()
{
    static PenCache cache;
    return cache;
}

BrushCache &Brushes()
{
    static BrushCache cache;
    return cache;
}

FontCache &Fonts()
{
    static FontCache cache;
    return cache;
}

} // namespace sirrel
