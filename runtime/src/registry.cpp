// Strings from the process environment: the registry file and the current directory.
//
// The registry is an INI file: "[HKEY_LOCAL_MACHINE\Software\KEL]" sections of "Name=value" lines. Key and value
// names match without regard to case, as in the Win32 registry; "\" and "/" both separate subkeys.
#include "orurt.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

const uint32_t kMaxRegistryFileSize = 16u << 20;

struct RootKey {
    uint32_t key;
    const char *name;
};

const RootKey kRootKeys[] = {
    {ORU_HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"}, {ORU_HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
    {ORU_HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"}, {ORU_HKEY_USERS, "HKEY_USERS"},
    {ORU_HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"},
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A [begin, end) piece of a zero-terminated buffer.
struct Span {
    const char *begin;
    const char *end;
};

Span Trim(Span s) {
    while (s.begin < s.end && IsSpace(*s.begin)) ++s.begin;
    while (s.end > s.begin && IsSpace(s.end[-1])) --s.end;
    return s;
}

Span Whole(const char *s) { return Span{s, s + StringLength(s)}; }

char Fold(char c) { return (c >= 'a' && c <= 'z') ? char(c - ('a' - 'A')) : c; }

bool EqualNoCase(Span a, Span b) {
    if (a.end - a.begin != b.end - b.begin) return false;
    for (; a.begin < a.end; ++a.begin, ++b.begin) {
        if (Fold(*a.begin) != Fold(*b.begin)) return false;
    }
    return true;
}

// Key paths compare piece by piece, so "Software\KEL", "\software/kel\" and "Software\\KEL" are one key.
bool SameKeyPath(Span a, Span b) {
    for (;;) {
        while (a.begin < a.end && IsSeparator(*a.begin)) ++a.begin;
        while (b.begin < b.end && IsSeparator(*b.begin)) ++b.begin;
        if (a.begin == a.end || b.begin == b.end) return a.begin == a.end && b.begin == b.end;
        Span pa{a.begin, a.begin}, pb{b.begin, b.begin};
        while (pa.end < a.end && !IsSeparator(*pa.end)) ++pa.end;
        while (pb.end < b.end && !IsSeparator(*pb.end)) ++pb.end;
        if (!EqualNoCase(Trim(pa), Trim(pb))) return false;
        a.begin = pa.end;
        b.begin = pb.end;
    }
}

// Section header "ROOT\sub\key" against the wanted root name and subkey path.
bool SectionMatches(Span section, Span rootName, Span subKey) {
    const char *split = section.begin;
    while (split < section.end && !IsSeparator(*split)) ++split;
    return EqualNoCase(Trim(Span{section.begin, split}), rootName) && SameKeyPath(Span{split, section.end}, subKey);
}

// The value name "" (or null) is the key's default value, written "@" in the file.
bool ValueNameMatches(Span name, Span wanted) {
    if (wanted.begin == wanted.end) return name.begin == name.end || (name.end - name.begin == 1 && *name.begin == '@');
    return EqualNoCase(name, wanted);
}

// Path of the registry file into path; false when no location is known.
bool RegistryPath(OruString *path) {
    const char *explicitPath = getenv("KEL_REGISTRY");
    if (explicitPath != nullptr && explicitPath[0] != 0) {
        OruString_Set_String(path, explicitPath);
        return true;
    }
    const char *config = getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        OruString_Set_String(path, config);
    } else {
        const char *home = getenv("HOME");
        if (home == nullptr || home[0] == 0) return false;
        OruString_Add_String(OruString_Set_String(path, home), "/.config");
    }
    OruString_Add_String(path, "/kel/registry.ini");
    return true;
}

// Reads the whole file into a zero-terminated MemoryAlloc block; null when it cannot be read.
char *ReadFile(const char *path) {
    FILE *file = fopen(path, "rb");
    if (file == nullptr) return nullptr;
    uint32_t size = 0, capacity = 4096;
    char *data = static_cast<char *>(MemoryAlloc(capacity));
    while (data != nullptr) {
        size += uint32_t(fread(data + size, 1, capacity - 1 - size, file));
        if (size < capacity - 1) break;
        char *grown = capacity < kMaxRegistryFileSize ? static_cast<char *>(MemoryReAlloc(data, capacity * 2)) : nullptr;
        if (grown == nullptr) {
            MemoryFree(data);
            data = nullptr;
        } else {
            data = grown;
            capacity *= 2;
        }
    }
    if (data != nullptr && ferror(file)) {
        MemoryFree(data);
        data = nullptr;
    }
    fclose(file);
    if (data != nullptr) data[size] = 0;
    return data;
}

// Finds the value in the file's text; true with the value's span when present.
bool FindValue(const char *text, Span rootName, Span subKey, Span valueName, Span *value) {
    if (static_cast<uint8_t>(text[0]) == 0xEF && static_cast<uint8_t>(text[1]) == 0xBB &&
        static_cast<uint8_t>(text[2]) == 0xBF) {
        text += 3;
    }
    bool inKey = false;
    while (*text != 0) {
        Span line{text, text};
        while (*line.end != 0 && *line.end != '\n') ++line.end;
        text = *line.end != 0 ? line.end + 1 : line.end;
        line = Trim(line);
        if (line.begin == line.end || *line.begin == ';' || *line.begin == '#') continue;
        if (*line.begin == '[') {
            const char *close = line.end;
            while (close > line.begin && *close != ']') --close;
            inKey = close > line.begin && SectionMatches(Span{line.begin + 1, close}, rootName, subKey);
            continue;
        }
        if (!inKey) continue;
        const char *equals = line.begin;
        while (equals < line.end && *equals != '=') ++equals;
        if (equals == line.end) continue;
        if (ValueNameMatches(Trim(Span{line.begin, equals}), valueName)) {
            *value = Trim(Span{equals + 1, line.end});
            return true;
        }
    }
    return false;
}

}  // namespace

OruString *OruString_Set_FromRegistry(OruString *s, uint32_t rootKey, const char *subKey, const char *valueName) {
    if (s == nullptr) return s;
    OruString_Set_String(s, "");
    const char *rootName = nullptr;
    for (const RootKey &root : kRootKeys) {
        if (root.key == rootKey) rootName = root.name;
    }
    if (rootName == nullptr) return s;

    OruString path;
    OruString_Construct(&path);
    char *text = RegistryPath(&path) ? ReadFile(path.Text) : nullptr;
    OruString_Destruct(&path, 0);
    if (text == nullptr) return s;

    Span value;
    if (FindValue(text, Whole(rootName), Whole(subKey), Whole(valueName), &value)) {
        text[value.end - text] = 0;
        OruString_Set_String(s, value.begin);
    }
    MemoryFree(text);
    return s;
}

OruString *OruString_Set_CurrentDirectory(OruString *s) {
    if (s == nullptr) return s;
    OruString_Set_String(s, "");
    uint32_t size = 256;
    char *buffer = static_cast<char *>(MemoryAlloc(size));
    while (buffer != nullptr && getcwd(buffer, size) == nullptr) {
        char *grown = (errno == ERANGE && size < (1u << 20)) ? static_cast<char *>(MemoryReAlloc(buffer, size * 2))
                                                             : nullptr;
        if (grown == nullptr) {
            MemoryFree(buffer);
            buffer = nullptr;
        } else {
            buffer = grown;
            size *= 2;
        }
    }
    if (buffer != nullptr) {
        OruString_Set_String(s, buffer);
        MemoryFree(buffer);
    }
    return s;
}
