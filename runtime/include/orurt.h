/*
 * Orurt: the run-time library of the Sirrel decoder.
 *
 * Flat C interface. Every object family follows one convention:
 *   - Family_Construct(storage or NULL) returns the object; with NULL it is allocated with MemoryAlloc.
 *   - Family_Destruct(object, flags) frees what the object owns, and the object itself when bit 0 of flags is set.
 *   - Setters act only when the value changes.
 *   - Processing works through long inputs in chunks of at most BufferSize samples; with no output buffer the
 *     result stays in the object's own buffer.
 * Structures keep their documented field order; pointer fields are native width.
 */
#ifndef ORURT_H
#define ORURT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define ORU_EXTERN_C extern "C"
#else
#define ORU_EXTERN_C
#endif
#define ORU_API ORU_EXTERN_C __attribute__((visibility("default")))

/* Extended-precision results ("80-bit" floats) */
typedef long double OruExtended;

/* ==== memory ==== */

ORU_API void *MemoryAlloc(uint32_t size);
ORU_API void MemoryFree(void *pointer);
ORU_API void *MemoryReAlloc(void *pointer, uint32_t size);
ORU_API void *MemoryDuplicate(const void *source, uint32_t size);
ORU_API void *MemoryCopy(void *destination, const void *source, uint32_t size);
ORU_API int32_t MemoryCompare(const void *a, const void *b, uint32_t size);
ORU_API void *MemorySet_Byte(void *destination, uint8_t value, uint32_t count);
ORU_API void *MemorySet_Word(void *destination, uint16_t value, uint32_t count);
ORU_API void *MemorySet_DWord(void *destination, uint32_t value, uint32_t count);
ORU_API void MemoryRead_PIO_Word(void *destination, const volatile void *source, uint32_t count);
ORU_API uint8_t SafeExchange_Byte(volatile uint8_t *pointer, uint8_t value);
ORU_API uint32_t SafeExchange_DWord(volatile uint32_t *pointer, uint32_t value);

/* ==== end memory ==== */

/* ==== strings ==== */

ORU_API uint32_t StringLength(const char *s);
ORU_API char *StringCopy(char *destination, const char *source);
ORU_API char *StringDuplicate(const char *s);
ORU_API int32_t StringCompare(const char *a, const char *b);
ORU_API int32_t StringCompareI(const char *a, const char *b);
ORU_API char *StringReverse(char *s);
ORU_API char *StringString(const char *haystack, const char *needle);
ORU_API OruExtended StringToDouble(const char *s);
ORU_API char *IntegerToString(int32_t value, uint32_t radix, char *buffer, uint32_t minimumDigits);
ORU_API char *Int64ToString(uint32_t low, uint32_t high, uint32_t radix, char *buffer, uint32_t minimumDigits);

typedef struct OruString {
    char *Text;        /* zero-terminated, owned */
    uint32_t Length;   /* bytes before the terminator */
    uint32_t Capacity; /* bytes allocated, a multiple of 64, always > Length */
} OruString;

ORU_API OruString *OruString_Construct(OruString *s);
ORU_API OruString *OruString_Construct_String(OruString *s, const char *source);
ORU_API void OruString_Destruct(OruString *s, uint32_t flags);
ORU_API OruString *OruString_Set_String(OruString *s, const char *source);
ORU_API OruString *OruString_Set_OruString(OruString *s, const OruString *other);
ORU_API OruString *OruString_Add_String(OruString *s, const char *source);
ORU_API OruString *OruString_Add_OruString(OruString *s, const OruString *other);
ORU_API OruString *OruString_Add_Character(OruString *s, uint8_t byte);
ORU_API OruString *OruString_Add_Integer(OruString *s, int32_t value, uint32_t radix, uint32_t minimumDigits);
ORU_API OruString *OruString_Add_Integer64(OruString *s, uint32_t low, uint32_t high, uint32_t radix,
                                           uint32_t minimumDigits);
ORU_API OruString *OruString_Add_AX25CallSign(OruString *s, const uint8_t *address);
ORU_API OruString *OruString_Insert_Character(OruString *s, int32_t position, uint8_t byte);
ORU_API OruString *OruString_Delete_Character(OruString *s, int32_t position);
ORU_API OruString *OruString_Delete_Range(OruString *s, int32_t first, int32_t last);
ORU_API OruString *OruString_Replace_Character(OruString *s, uint8_t from, uint8_t to);
ORU_API OruString *OruString_Truncate(OruString *s, uint32_t newLength);
ORU_API OruString *OruString_Set_CurrentDirectory(OruString *s);
/* Root keys keep their Win32 values; the registry is the INI file named by $KEL_REGISTRY, else
   $XDG_CONFIG_HOME/kel/registry.ini (~/.config/kel/registry.ini). */
#define ORU_HKEY_CLASSES_ROOT 0x80000000u
#define ORU_HKEY_CURRENT_USER 0x80000001u
#define ORU_HKEY_LOCAL_MACHINE 0x80000002u
#define ORU_HKEY_USERS 0x80000003u
ORU_API OruString *OruString_Set_FromRegistry(OruString *s, uint32_t rootKey, const char *subKey,
                                              const char *valueName);

typedef struct OruStringList {
    char **Items;      /* owned copies */
    uint32_t Count;
    uint32_t SortMode; /* 0 unsorted, 1 ascending, other descending */
} OruStringList;

ORU_API OruStringList *OruStringList_Construct(OruStringList *l);
ORU_API void OruStringList_Destruct(OruStringList *l, uint32_t flags);
ORU_API OruStringList *OruStringList_Clear(OruStringList *l);
ORU_API OruStringList *OruStringList_Add_String(OruStringList *l, const char *s);
ORU_API int32_t OruStringList_IndexOf(const OruStringList *l, const char *s);
ORU_API OruStringList *OruStringList_Remove(OruStringList *l, int32_t index);
ORU_API OruStringList *OruStringList_Replace_Index(OruStringList *l, int32_t index, const char *s);
ORU_API OruStringList *OruStringList_Set_OruStringList(OruStringList *l, const OruStringList *other);
ORU_API OruStringList *OruStringList_Sorting(OruStringList *l, uint32_t mode);

/* ==== end strings ==== */

/* ==== numeric ==== */

ORU_API uint64_t Mul_UI32UI32_UI64(uint32_t a, uint32_t b);
/* quotient in the low half, remainder in the high half */
ORU_API uint64_t Div_UI64UI32_UI32(uint32_t low, uint32_t high, uint32_t divisor);
ORU_API uint32_t OneBits_QWord(uint32_t low, uint32_t high);
ORU_API OruExtended Exp_Float(float x);
ORU_API OruExtended Exp_Double(double x);
ORU_API OruExtended Log10_F32_Fxx(float x);
ORU_API int32_t Log10_F80_I32(OruExtended x);
ORU_API void ComputeIQModule_I16(const int16_t *i, const int16_t *q, int16_t *out, uint32_t count);

/* ==== end numeric ==== */

/* ==== exclusion ==== */

typedef struct OruThreadExclusion {
    volatile int32_t EntryCount;
    volatile uint32_t Owner; /* thread id of the holder, 0 when free */
} OruThreadExclusion;

ORU_API OruThreadExclusion *OruThreadExclusion_Construct(OruThreadExclusion *x);
ORU_API void OruThreadExclusion_Destruct(OruThreadExclusion *x, uint32_t flags);
ORU_API void OruThreadExclusion_Enter(OruThreadExclusion *x);
ORU_API void OruThreadExclusion_Leave(OruThreadExclusion *x);

/* ==== end exclusion ==== */

/* ==== cpuinfo ==== */

typedef struct OruCPUInfo {
    uint32_t ClockRate;      /* timer ticks per second */
    uint32_t ClockRateHigh;  /* high half of the monotonic counter frequency */
    uint32_t Signature;      /* CPUID leaf 1 EAX */
    uint32_t Features;       /* CPUID leaf 1 EDX, corrected */
    uint32_t Features2;      /* CPUID leaf 1 ECX */
    uint32_t ProcessorCode;  /* vendor in bits 28..31, model class below */
    uint32_t ExtendedFeatures; /* CPUID 0x80000001 EDX */
    char Vendor[13];
    char Name[49];
} OruCPUInfo;

#define ORU_FEATURE_TSC (1u << 4)
#define ORU_FEATURE_MMX (1u << 23)
#define ORU_FEATURE_SSE2 (1u << 26)

ORU_API OruCPUInfo *OruCPUInfo_Init(OruCPUInfo *record);
ORU_API uint64_t OruCPUInfo_GetTimer(const OruCPUInfo *record);
ORU_API OruCPUInfo *_CPU(void);

/* ==== end cpuinfo ==== */

/* ==== fskcorr ==== */
/* ==== end fskcorr ==== */

/* ==== fir ==== */
/* ==== end fir ==== */

/* ==== fft ==== */
/* ==== end fft ==== */

/* ==== resampler ==== */
/* ==== end resampler ==== */

/* ==== pixmap ==== */
/* ==== end pixmap ==== */

/* ==== otherdsp ==== */
/* ==== end otherdsp ==== */

#endif
