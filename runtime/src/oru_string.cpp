// OruString: a growable zero-terminated byte string whose capacity grows in 64-byte steps.
#include "orurt.h"

namespace {

const uint32_t kMaxTextLength = 0xFFFFFF00u;

bool Within(const OruString *s, const char *p) {
    uintptr_t text = reinterpret_cast<uintptr_t>(s->Text), at = reinterpret_cast<uintptr_t>(p);
    return s->Text != nullptr && at >= text && at < text + s->Capacity;
}

// Makes room for a text of textLength bytes plus its terminator. On failure the string is unchanged.
bool Reserve(OruString *s, uint32_t textLength) {
    if (textLength >= kMaxTextLength) return false;
    if (s->Text != nullptr && textLength < s->Capacity) return true;
    uint32_t capacity = (textLength + 64) & ~63u;
    char *text = static_cast<char *>(MemoryReAlloc(s->Text, capacity));
    if (text == nullptr) return false;
    if (s->Text == nullptr) text[0] = 0;
    s->Text = text;
    s->Capacity = capacity;
    return true;
}

// Appends size bytes. The source may lie inside the string's own text, which Reserve may move.
OruString *Append(OruString *s, const char *source, uint32_t size) {
    if (s == nullptr || size == 0) return s;
    bool inside = Within(s, source);
    uint32_t offset = inside ? uint32_t(source - s->Text) : 0;
    if (size > kMaxTextLength - s->Length || !Reserve(s, s->Length + size)) return s;
    if (inside) source = s->Text + offset;
    MemoryCopy(s->Text + s->Length, source, size);
    s->Length += size;
    s->Text[s->Length] = 0;
    return s;
}

// Replaces the text with size bytes (source may lie inside the current text).
OruString *Assign(OruString *s, const char *source, uint32_t size) {
    if (s == nullptr) return s;
    bool inside = Within(s, source);
    if (!inside && !Reserve(s, size)) return s;
    // Text from inside is never longer than the current one, so no growth was needed.
    if (size != 0) MemoryCopy(s->Text, source, size);
    s->Length = size;
    s->Text[size] = 0;
    return s;
}

// Fresh storage sized for a text of textLength bytes, holding "".
OruString *Initialise(OruString *s, uint32_t textLength) {
    if (s == nullptr) {
        s = static_cast<OruString *>(MemoryAlloc(sizeof(OruString)));
        if (s == nullptr) return nullptr;
    }
    s->Text = nullptr;
    s->Length = 0;
    s->Capacity = 0;
    Reserve(s, textLength);
    return s;
}

}  // namespace

OruString *OruString_Construct(OruString *s) { return Initialise(s, 0); }

OruString *OruString_Construct_String(OruString *s, const char *source) {
    uint32_t length = StringLength(source);
    return Assign(Initialise(s, length), source, length);
}

void OruString_Destruct(OruString *s, uint32_t flags) {
    if (s == nullptr) return;
    MemoryFree(s->Text);
    s->Text = nullptr;
    s->Length = 0;
    s->Capacity = 0;
    if (flags & 1) MemoryFree(s);
}

OruString *OruString_Set_String(OruString *s, const char *source) {
    if (s == nullptr || (source == s->Text && source != nullptr)) return s;
    return Assign(s, source, StringLength(source));
}

OruString *OruString_Set_OruString(OruString *s, const OruString *other) {
    if (s == nullptr || other == s) return s;
    if (other == nullptr || other->Text == nullptr) return Assign(s, nullptr, 0);
    return Assign(s, other->Text, other->Length);
}

OruString *OruString_Add_String(OruString *s, const char *source) {
    return Append(s, source, StringLength(source));
}

OruString *OruString_Add_OruString(OruString *s, const OruString *other) {
    if (other == nullptr || other->Text == nullptr) return s;
    return Append(s, other->Text, other->Length);
}

OruString *OruString_Add_Character(OruString *s, uint8_t byte) {
    char c = char(byte);
    return Append(s, &c, 1);
}

OruString *OruString_Add_Integer(OruString *s, int32_t value, uint32_t radix, uint32_t minimumDigits) {
    char buffer[40];
    IntegerToString(value, radix, buffer, minimumDigits > 33 ? 33 : minimumDigits);
    return OruString_Add_String(s, buffer);
}

OruString *OruString_Add_Integer64(OruString *s, uint32_t low, uint32_t high, uint32_t radix,
                                   uint32_t minimumDigits) {
    char buffer[72];
    Int64ToString(low, high, radix, buffer, minimumDigits > 65 ? 65 : minimumDigits);
    return OruString_Add_String(s, buffer);
}

OruString *OruString_Add_AX25CallSign(OruString *s, const uint8_t *address) {
    if (s == nullptr || address == nullptr) return s;
    // Six characters, a hyphen and two SSID digits, plus the terminator.
    if (s->Length > kMaxTextLength - 9 || !Reserve(s, s->Length + 9)) return s;
    for (int i = 0; i < 6; ++i) {
        if (address[i] != ' ') OruString_Add_Character(s, address[i]);
    }
    uint32_t ssid = (address[6] >> 1) & 0x0F;
    if (ssid != 0) {
        OruString_Add_Character(s, '-');
        OruString_Add_Integer(s, int32_t(ssid), 10, 0);
    }
    return s;
}

OruString *OruString_Insert_Character(OruString *s, int32_t position, uint8_t byte) {
    if (s == nullptr) return s;
    uint32_t at = position < 0 ? 0 : uint32_t(position);
    if (at >= s->Length) return OruString_Add_Character(s, byte);
    if (!Reserve(s, s->Length + 1)) return s;
    MemoryCopy(s->Text + at + 1, s->Text + at, s->Length - at + 1);
    s->Text[at] = char(byte);
    ++s->Length;
    return s;
}

OruString *OruString_Delete_Character(OruString *s, int32_t position) {
    if (s == nullptr || position < 0 || uint32_t(position) >= s->Length) return s;
    MemoryCopy(s->Text + position, s->Text + position + 1, s->Length - uint32_t(position));
    --s->Length;
    return s;
}

OruString *OruString_Delete_Range(OruString *s, int32_t first, int32_t last) {
    if (s == nullptr || s->Text == nullptr) return s;
    if (first < 0) first = 0;
    if (uint32_t(first) >= s->Length || last < first) return s;
    if (uint32_t(last) >= s->Length) last = int32_t(s->Length - 1);
    MemoryCopy(s->Text + first, s->Text + last + 1, s->Length - uint32_t(last));
    s->Length = StringLength(s->Text);
    return s;
}

OruString *OruString_Replace_Character(OruString *s, uint8_t from, uint8_t to) {
    if (s == nullptr) return s;
    for (uint32_t i = 0; i < s->Length; ++i) {
        if (uint8_t(s->Text[i]) == from) s->Text[i] = char(to);
    }
    return s;
}

OruString *OruString_Truncate(OruString *s, uint32_t newLength) {
    if (s == nullptr || newLength >= s->Length) return s;
    s->Length = newLength;
    s->Text[newLength] = 0;
    return s;
}
