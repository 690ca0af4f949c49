// OruStringList: an array of owned string copies, kept in the order of its sort mode.
#include "orurt.h"

namespace {

const uint32_t kGrowStep = 128;
const uint32_t kMaxCount = 0x10000000u;

bool OutOfOrder(const char *a, const char *b, uint32_t mode) {
    int32_t order = StringCompare(a, b);
    return mode == 1 ? order > 0 : order < 0;
}

// Bubble sort: stable, and cheap for the usual case of one new entry at the end.
void Sort(OruStringList *l) {
    if (l->SortMode == 0 || l->Count < 2) return;
    uint32_t end = l->Count;
    while (end > 1) {
        uint32_t lastSwap = 0;
        for (uint32_t i = 1; i < end; ++i) {
            if (OutOfOrder(l->Items[i - 1], l->Items[i], l->SortMode)) {
                char *t = l->Items[i - 1];
                l->Items[i - 1] = l->Items[i];
                l->Items[i] = t;
                lastSwap = i;
            }
        }
        end = lastSwap;
    }
}

}  // namespace

OruStringList *OruStringList_Construct(OruStringList *l) {
    if (l == nullptr) {
        l = static_cast<OruStringList *>(MemoryAlloc(sizeof(OruStringList)));
        if (l == nullptr) return nullptr;
    }
    l->Items = static_cast<char **>(MemoryAlloc(1));
    l->Count = 0;
    l->SortMode = 0;
    return l;
}

void OruStringList_Destruct(OruStringList *l, uint32_t flags) {
    if (l == nullptr) return;
    OruStringList_Clear(l);
    MemoryFree(l->Items);
    l->Items = nullptr;
    if (flags & 1) MemoryFree(l);
}

OruStringList *OruStringList_Clear(OruStringList *l) {
    if (l == nullptr) return l;
    for (uint32_t i = 0; i < l->Count; ++i) MemoryFree(l->Items[i]);
    l->Count = 0;
    return l;
}

OruStringList *OruStringList_Add_String(OruStringList *l, const char *s) {
    if (l == nullptr || s == nullptr || l->Count >= kMaxCount) return l;
    if (l->Count % kGrowStep == 0) {
        void *items = MemoryReAlloc(l->Items, uint32_t((l->Count + kGrowStep) * sizeof(char *)));
        if (items == nullptr) return l;
        l->Items = static_cast<char **>(items);
    }
    char *copy = StringDuplicate(s);
    if (copy == nullptr) return l;
    l->Items[l->Count++] = copy;
    Sort(l);
    return l;
}

int32_t OruStringList_IndexOf(const OruStringList *l, const char *s) {
    if (l == nullptr || s == nullptr) return -1;
    for (uint32_t i = 0; i < l->Count; ++i) {
        if (StringCompare(l->Items[i], s) == 0) return int32_t(i);
    }
    return -1;
}

OruStringList *OruStringList_Remove(OruStringList *l, int32_t index) {
    if (l == nullptr || index < 0 || uint32_t(index) >= l->Count) return l;
    MemoryFree(l->Items[index]);
    --l->Count;
    for (uint32_t i = uint32_t(index); i < l->Count; ++i) l->Items[i] = l->Items[i + 1];
    return l;
}

OruStringList *OruStringList_Replace_Index(OruStringList *l, int32_t index, const char *s) {
    if (l == nullptr || s == nullptr || index < 0 || uint32_t(index) >= l->Count) return l;
    char *copy = StringDuplicate(s);
    if (copy == nullptr) return l;
    MemoryFree(l->Items[index]);
    l->Items[index] = copy;
    Sort(l);
    return l;
}

OruStringList *OruStringList_Set_OruStringList(OruStringList *l, const OruStringList *other) {
    if (l == nullptr || other == l) return l;
    OruStringList_Clear(l);
    if (other == nullptr) return l;
    for (uint32_t i = 0; i < other->Count; ++i) OruStringList_Add_String(l, other->Items[i]);
    return l;
}

OruStringList *OruStringList_Sorting(OruStringList *l, uint32_t mode) {
    if (l == nullptr) return l;
    l->SortMode = mode;
    Sort(l);
    return l;
}
