#include "windows/charset_fonts.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <array>
#include <map>
#include <mutex>

#include "protocols/translation_tables.h"

namespace sirrel {

namespace {

// In the order of the list: "ANSI", "Arabic", "Baltic", "Chinese BIG-5", "Chinese GB2312-80", "Default",
// "Eastern Europe", "Greek", "Hangeul", "Hebrew", "Johab", "Mac", "OEM", "Russian", "Shift JIS", "Symbol", "Thai",
// "Turkish", "Vietnamese".
const std::array<CharacterSetCoverage, 19> &Coverages()
{
    static const std::array<CharacterSetCoverage, 19> coverages = {{
        {{"en", "fr", "de"}, {}},
        {{"ar"}, {}},
        {{"lt", "lv", "et"}, {}},
        {{"zh-tw"}, {}},
        {{"zh-cn"}, {}},
        {{}, {}},
        {{"pl", "cs", "hu"}, {}},
        {{"el"}, {}},
        {{"ko"}, {}},
        {{"he"}, {}},
        {{"ko"}, {}},
        {{"en", "fr", "de"}, {}},
        // The box drawing and shading characters of the DOS code page.
        {{}, {0x2500, 0x2502, 0x250C, 0x2510, 0x2514, 0x2518, 0x2550, 0x2551, 0x2588, 0x2591, 0x2592, 0x2593}},
        {{"ru"}, {}},
        {{"ja"}, {}},
        // Greek letters and the mathematical signs of the symbol fonts.
        {{}, {0x03B1, 0x03B2, 0x03C0, 0x2200, 0x2202, 0x2203, 0x2207, 0x2208, 0x221E, 0x2260}},
        {{"th"}, {}},
        {{"tr"}, {}},
        {{"vi"}, {}},
    }};
    return coverages;
}

std::vector<std::string> ListFonts(const CharacterSetCoverage &coverage)
{
    std::vector<std::string> families;
    FcPattern *pattern = FcPatternCreate();
    if (!pattern)
        return families;
    if (!coverage.languages.empty()) {
        FcLangSet *languages = FcLangSetCreate();
        for (const std::string &language : coverage.languages)
            FcLangSetAdd(languages, reinterpret_cast<const FcChar8 *>(language.c_str()));
        FcPatternAddLangSet(pattern, FC_LANG, languages);
        FcLangSetDestroy(languages);
    }
    if (!coverage.codePoints.empty()) {
        FcCharSet *characters = FcCharSetCreate();
        for (uint32_t codePoint : coverage.codePoints)
            FcCharSetAddChar(characters, codePoint);
        FcPatternAddCharSet(pattern, FC_CHARSET, characters);
        FcCharSetDestroy(characters);
    }
    FcObjectSet *objects = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet *fonts = objects ? FcFontList(nullptr, pattern, objects) : nullptr;
    if (fonts) {
        for (int i = 0; i < fonts->nfont; ++i) {
            FcChar8 *family = nullptr;
            if (FcPatternGetString(fonts->fonts[i], FC_FAMILY, 0, &family) == FcResultMatch)
                families.emplace_back(reinterpret_cast<const char *>(family));
        }
        FcFontSetDestroy(fonts);
    }
    if (objects)
        FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    // A family longer than the record's slot could not be stored.
    std::erase_if(families, [](const std::string &f) { return f.size() >= TranslationTableRecord::kFontSize; });
    std::sort(families.begin(), families.end());
    families.erase(std::unique(families.begin(), families.end()), families.end());
    return families;
}

} // namespace

CharacterSetCoverage CoverageOf(int characterSetIndex)
{
    if (characterSetIndex < 0 || characterSetIndex >= int(Coverages().size()))
        return {};
    return Coverages()[size_t(characterSetIndex)];
}

std::vector<std::string> FontsForCharacterSet(int characterSetIndex)
{
    // Listing the installed fonts takes a while; they do not change while the plug-in runs.
    static std::mutex lock;
    static std::map<int, std::vector<std::string>> listed;
    std::lock_guard<std::mutex> hold(lock);
    auto found = listed.find(characterSetIndex);
    if (found == listed.end())
        found = listed.emplace(characterSetIndex, ListFonts(CoverageOf(characterSetIndex))).first;
    return found->second;
}

} // namespace sirrel
