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
   $XDG_CONFIG_HOME/kel/registry.ini, else $HOME/.config/kel/registry.ini. Sections "[ROOT\Sub\Key]" hold
   "Name=value" lines ("@" or an empty name is the default value); names match without regard to case. A missing
   file, key or value leaves the string empty. */
#define ORU_HKEY_CLASSES_ROOT 0x80000000u
#define ORU_HKEY_CURRENT_USER 0x80000001u
#define ORU_HKEY_LOCAL_MACHINE 0x80000002u
#define ORU_HKEY_USERS 0x80000003u
#define ORU_HKEY_CURRENT_CONFIG 0x80000005u
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
#define ORU_FEATURE2_AVX (1u << 28) /* in Features2 */

ORU_API OruCPUInfo *OruCPUInfo_Init(OruCPUInfo *record);
ORU_API uint64_t OruCPUInfo_GetTimer(const OruCPUInfo *record);
ORU_API OruCPUInfo *_CPU(void);

/* ==== end cpuinfo ==== */

/* ==== fskcorr ==== */

/* Correlative FSK demodulator: for every input sample, |tone 1| - |tone 2| correlated over the last symbol
   (WindowLength samples), divided by the window length. Positive output: tone 1 dominates. */
typedef struct OruFSKCorrDemod16 OruFSKCorrDemod16;

struct OruFSKCorrDemod16 {
    /* demodulates count samples already in WorkBuffer into dst (which may be WorkBuffer) */
    void (*ProcessRoutine)(OruFSKCorrDemod16 *demod, int16_t *dst, uint32_t count);
    int16_t *WorkBuffer;    /* the current chunk; also the output when the caller gives none */
    uint32_t BufferSize;    /* WorkBuffer capacity in samples, the largest chunk */
    float SamplingRate;     /* Hz */
    float Tone1Frequency;   /* Hz, positive output; callers write it directly, read at every chunk */
    float Tone2Frequency;   /* Hz, negative output; likewise */
    float BitRate;          /* bit/s; sets WindowLength */
    uint32_t RingCapacity;  /* floats allocated in Ring; only grows */
    float *Ring;            /* per window sample: x cos(Phase1), x sin(Phase1), x sin(Phase2), x cos(Phase2) */
    void (*UpdateRoutine)(OruFSKCorrDemod16 *demod); /* new window: length, cleared ring and sums */
    /* resizes WorkBuffer to BufferSize samples; 0 when the memory could not be had (the old buffer stays) */
    int32_t (*ResizeRoutine)(OruFSKCorrDemod16 *demod);
    uint32_t RingLength;    /* 4 * WindowLength */
    uint32_t RingPosition;  /* index of the oldest sample's group of 4 */
    float Phase1;           /* radians */
    float Phase2;
    float Sum1Cos;          /* running sums of the products over the window */
    float Sum1Sin;
    float Sum2Sin;
    float Sum2Cos;
    uint32_t WindowLength;  /* N = SamplingRate / BitRate, at least 2 */
};

ORU_API OruFSKCorrDemod16 *OruFSKCorrDemod16_Construct(OruFSKCorrDemod16 *demod);
ORU_API void OruFSKCorrDemod_Destruct(OruFSKCorrDemod16 *demod, uint32_t flags);
/* at least 1 */
ORU_API void OruFSKCorrDemod_BufferSize(OruFSKCorrDemod16 *demod, uint32_t samples);
/* A changed rate starts a fresh window (ring and sums cleared, phases kept); an identical one changes nothing. */
ORU_API void OruFSKCorrDemod_SamplingRate(OruFSKCorrDemod16 *demod, float hertz);
ORU_API void OruFSKCorrDemod_BitRate(OruFSKCorrDemod16 *demod, float bitsPerSecond);
/* Demodulates count/step samples taken from in at a stride of step (the first channel of interleaved audio).
   With out null only the first BufferSize of them are demodulated and the result is left in WorkBuffer. */
ORU_API void OruFSKCorrDemod16_Process_16_16(OruFSKCorrDemod16 *demod, const int16_t *in, int16_t *out,
                                             int32_t count, int32_t step);

/* ==== end fskcorr ==== */

/* ==== fir ==== */

/* FIR filter that designs its own taps (window method). OruFIR1616: 16-bit taps and data, 16-bit output;
   OruFIR1632: 16-bit taps and data, 32-bit output; OruFIR3232: 32-bit taps and data, 32-bit output. All three
   share this structure and the OruFIR_ setters. */
typedef struct OruFIR OruFIR;
typedef OruFIR OruFIR1616;
typedef OruFIR OruFIR1632;
typedef OruFIR OruFIR3232;

/* Filter types for OruFIR_FIRType */
#define ORU_FIR_PASS 0u      /* single tap of 1 at the centre */
#define ORU_FIR_LOWPASS 1u   /* CutOffHigh */
#define ORU_FIR_HIGHPASS 2u  /* CutOffLow; inverted pass band */
#define ORU_FIR_BANDPASS 3u  /* both */
#define ORU_FIR_BANDSTOP 4u  /* both */
#define ORU_FIR_HILBERT 5u   /* 90 degree phase shift */
#define ORU_FIR_AVERAGE 6u   /* every tap 1/T */

struct OruFIR {
    void (*SetCoefficientsDouble)(OruFIR *fir, const double *coefficients, int32_t count);
    void (*SetCoefficientsFloat)(OruFIR *fir, const float *coefficients, int32_t count);
    /* filters count samples at DelayInput into out (count/decimation outputs), then keeps the history */
    void (*Kernel)(OruFIR *fir, void *out, int32_t count, int32_t decimation);
    void *DelayInput;     /* DelayLine + TapsNum - 1: where the next chunk goes */
    void *OutputBuffer;   /* BufferSize samples of the output width */
    void *Coefficients;   /* TapsNum quantised taps, zero-padded (16-bit: to 32 entries, 32-bit: to 16) */
    float CutOffHigh;     /* Hz */
    float CutOffLow;      /* Hz */
    float SamplingRate;   /* Hz */
    uint32_t BufferSize;  /* largest chunk, in input samples */
    uint32_t FIRType;
    uint32_t TapsNum;     /* odd, at least 3 */
    void *DelayLine;      /* TapsNum - 1 history samples, then BufferSize new ones */
    /* lays out Storage for TapsNum and BufferSize; 0 when the memory could not be had */
    int32_t (*ResizeRoutine)(OruFIR *fir);
    void *Storage;        /* the one allocation holding all buffers */
    uint32_t StorageSize; /* bytes in Storage; only grows */
};

ORU_API OruFIR *OruFIR1616_Construct(OruFIR *fir);
ORU_API OruFIR *OruFIR1632_Construct(OruFIR *fir);
ORU_API OruFIR *OruFIR3232_Construct(OruFIR *fir);
ORU_API void OruFIR_Destruct(OruFIR *fir, uint32_t flags);
ORU_API void OruFIR_TapsNum(OruFIR *fir, int32_t taps);
ORU_API void OruFIR_FIRType(OruFIR *fir, uint32_t type);
ORU_API void OruFIR_BufferSize(OruFIR *fir, int32_t samples);
ORU_API void OruFIR_CutOffHigh(OruFIR *fir, float hertz);
ORU_API void OruFIR_CutOffLow(OruFIR *fir, float hertz);
ORU_API void OruFIR_SamplingRate(OruFIR *fir, float hertz);

/* Processing: count input samples, every step-th one taken, count/step outputs per decimation (the 1632 forms
   take ceil(count/step) inputs). A null out leaves the last chunk in OutputBuffer. out may equal in. */
ORU_API void OruFIR1616_Process_16_16(OruFIR *fir, int16_t *out, const int16_t *in, int32_t count, int32_t step,
                                      int32_t decimation);
ORU_API void OruFIR1632_Process_16_32(OruFIR *fir, int32_t *out, const int16_t *in, int32_t count, int32_t step,
                                      int32_t decimation);
ORU_API void OruFIR1632_Process_32_32(OruFIR *fir, int32_t *out, const int32_t *in, int32_t count, int32_t step,
                                      int32_t decimation);
ORU_API void OruFIR3232_Process_16_16(OruFIR *fir, int16_t *out, const int16_t *in, int32_t count, int32_t step,
                                      int32_t decimation);
ORU_API void OruFIR3232_Process_16_32(OruFIR *fir, int32_t *out, const int16_t *in, int32_t count, int32_t step,
                                      int32_t decimation);
ORU_API void OruFIR3232_Process_32_16(OruFIR *fir, int16_t *out, const int32_t *in, int32_t count, int32_t step,
                                      int32_t decimation);
ORU_API void OruFIR3232_Process_32_32(OruFIR *fir, int32_t *out, const int32_t *in, int32_t count, int32_t step,
                                      int32_t decimation);
/* Filters count samples the caller placed at DelayInput with taps 0, 2, 4, ... only (for the Hilbert type).
   count 0 means BufferSize; out null means OutputBuffer. */
ORU_API void OruFIR3232_Process2(OruFIR *fir, int32_t *out, int32_t count, int32_t decimation);

/* ==== end fir ==== */

/* ==== fft ==== */

/* Windowed spectra of fixed-point blocks. OruFFT2Float works in single precision, OruFFT in double precision;
   both have the same layout (window and twiddles are floats in both), so OruFFT_WindowType and OruFFT_Destruct
   take either.
   Real transform of N samples: RealPart/ImagPart[k] = 2 X[k], Module[k] = |X[k]|^2 (a quarter of it at k = 0).
   I/Q transform of N/2 pairs: 0 Hz at index N/4, negative frequencies below it, Module = |Z|^2 / 4.
   Bins (OruFFT2Float only): RealPart[k] = Im X[k], ImagPart[k] = Re X[k], Module[k] = |X[k]|^2 for the bins
   asked for, every other bin 0.
   Inputs shorter than N count as zero-padded; longer ones are cut to N. */
#define ORU_FFT_RECTANGULAR 0u
#define ORU_FFT_TRIANGULAR 1u
#define ORU_FFT_HANN 2u     /* peak 2 */
#define ORU_FFT_HAMMING 3u  /* scaled by 1/0.54 */
#define ORU_FFT_BLACKMAN 4u /* scaled by 1/0.42 */

typedef struct OruFFT2Float OruFFT2Float;

struct OruFFT2Float {
    void (*ComputeReal16)(OruFFT2Float *fft, const int16_t *samples, uint32_t count);
    void (*ComputeReal32)(OruFFT2Float *fft, const int32_t *samples, uint32_t count);
    void (*ComputeBins16)(OruFFT2Float *fft, const int16_t *samples, uint32_t count, uint32_t firstBin,
                          uint32_t lastBin);
    void (*ComputeBins32)(OruFFT2Float *fft, const int32_t *samples, uint32_t count, uint32_t firstBin,
                          uint32_t lastBin);
    float *WorkBuffer;    /* N floats: the N/2 complex values being transformed */
    float *RealPart;      /* N/2 results */
    float *ImagPart;      /* N/2 results */
    float *Module;        /* N/2 power values */
    uint32_t BufferSize;  /* N, a power of two */
    uint32_t HalfSize;    /* N/2 */
    uint32_t WindowType;  /* ORU_FFT_... */
    uint32_t StorageSize; /* 0: reallocated on every size change */
    void *Storage;        /* bit-reversal table, Module, ImagPart, RealPart, Twiddles, WorkBuffer, Window */
    float *Twiddles;      /* N/2 pairs (sin, cos) of -2 pi k / N */
    float *Window;        /* N values */
};

typedef struct OruFFT OruFFT;

struct OruFFT {
    /* always null: OruFFT exports its compute functions instead */
    void (*ComputeReal16)(OruFFT *fft, const int16_t *samples, uint32_t count);
    void (*ComputeReal32)(OruFFT *fft, const int32_t *samples, uint32_t count);
    void (*ComputeBins16)(OruFFT *fft, const int16_t *samples, uint32_t count, uint32_t firstBin,
                          uint32_t lastBin);
    void (*ComputeBins32)(OruFFT *fft, const int32_t *samples, uint32_t count, uint32_t firstBin,
                          uint32_t lastBin);
    double *WorkBuffer;
    double *RealPart;
    double *ImagPart;
    double *Module;
    uint32_t BufferSize;
    uint32_t HalfSize;
    uint32_t WindowType;
    uint32_t StorageSize; /* bytes in Storage; only grows */
    void *Storage;        /* bit-reversal table, Twiddles, WorkBuffer, Module, ImagPart, RealPart, Window */
    float *Twiddles;
    float *Window;
};

/* N = n raised to at least 4 and rounded up to a power of two, at most 2^27. */
ORU_API OruFFT2Float *OruFFT2Float_Construct(OruFFT2Float *fft);
ORU_API void OruFFT2Float_BufferSize(OruFFT2Float *fft, uint32_t n);
ORU_API void OruFFT2Float_ComputeComplex_IQ_16(OruFFT2Float *fft, const int16_t *i, const int16_t *q,
                                               uint32_t pairs);
ORU_API void OruFFT2Float_ComputeComplex_IQ_32(OruFFT2Float *fft, const int32_t *i, const int32_t *q,
                                               uint32_t pairs);
/* Module[k] = (re[k]^2 + im[k]^2) / 4 for k < N/2 */
ORU_API void OruFFT2Float_Compute_Module(OruFFT2Float *fft, const float *re, const float *im);

/* either object; types above 4 are ignored */
ORU_API void OruFFT_WindowType(void *fft, uint32_t type);
ORU_API void OruFFT_Destruct(void *fft, uint32_t flags);

/* N = n raised to at least 2 and rounded up to a power of two, at most 2^27. */
ORU_API OruFFT *OruFFT_Construct(OruFFT *fft);
ORU_API void OruFFT_BufferSize(OruFFT *fft, uint32_t n);
ORU_API void OruFFT_Compute_16(OruFFT *fft, const int16_t *samples, uint32_t count);
ORU_API void OruFFT_Compute_32(OruFFT *fft, const int32_t *samples, uint32_t count);
ORU_API void OruFFT_ComputeComplex_IQ_16(OruFFT *fft, const int16_t *i, const int16_t *q, uint32_t pairs);
ORU_API void OruFFT_ComputeComplex_IQ_32(OruFFT *fft, const int32_t *i, const int32_t *q, uint32_t pairs);
ORU_API void OruFFT_Compute_Module(OruFFT *fft, const double *re, const double *im);

/* ==== end fft ==== */

/* ==== resampler ==== */

/*
 * OruResampler32: rate conversion by Over/Under = L/M with a polyphase windowed-sinc low-pass; samples are
 * 32-bit fixed point inside. One 64-byte-aligned allocation holds the design scratch (TapsNum doubles), the
 * Q31 taps, the delay line, the output buffer (BufferSize * L / M + 1 samples), the taps regrouped by phase, and
 * for 16- and 8-bit input those taps split into 16-bit halves and the line's samples as 16 bits.
 * A setting whose buffers would exceed 1 GiB, or for which memory cannot be had, is refused: the previous value
 * stays. Coefficients is for reading; install taps with SetCoefficientsDouble so the phase table follows.
 * An output whose filter window reaches the first sample after the current block takes that sample as 0.
 */
typedef struct OruResampler32 OruResampler32;

struct OruResampler32 {
    int32_t *InputArea;    /* DelayLine + HistoryLength: where the core's new samples go */
    int32_t *OutputBuffer;
    uint32_t BufferSize;   /* largest input chunk */
    uint32_t Over;         /* L, >= 1 */
    uint32_t TapsNum;      /* K, odd, >= 3 */
    uint32_t Under;        /* M, >= 1 */
    int32_t *DelayLine;    /* HistoryLength history samples, then BufferSize new ones */
    int32_t (*ResizeRoutine)(OruResampler32 *r); /* lays out, clears history, designs, resets; 0 on failure */
    int32_t *Coefficients; /* K taps in Q31, zero-padded to a multiple of 16 */
    void *Storage;
    void (*SetCoefficientsDouble)(OruResampler32 *r, const double *taps, uint32_t count);
    int32_t *PendingOutput; /* next undelivered sample of the pull interface */
    uint32_t StorageSize;
    uint32_t Phase;         /* next output on the upsampled axis, in 1/L input samples from the first new one */
    uint32_t HistoryLength; /* H = (K - 1) / L */
    uint32_t PendingCount;
};

/* Largest L the rate search of OruResampler32_Setup tries. When no L up to it meets the tolerance, Setup takes
   the L/M whose rate comes closest (the smallest such L on a tie). */
#define ORU_RESAMPLER_MAX_OVER 4096

ORU_API OruResampler32 *OruResampler32_Construct(OruResampler32 *r);
ORU_API void OruResampler32_Destruct(OruResampler32 *r, uint32_t flags);
ORU_API void OruResampler32_Over(OruResampler32 *r, int32_t over);
ORU_API void OruResampler32_Under(OruResampler32 *r, int32_t under);
ORU_API void OruResampler32_BufferSize(OruResampler32 *r, int32_t samples);
ORU_API void OruResampler32_TapsNum(OruResampler32 *r, int32_t taps);
ORU_API void OruResampler32_Restart(OruResampler32 *r);
/* Rates that are not positive and finite give L = M = 1; a negative or NaN tolerance counts as 0. */
ORU_API void OruResampler32_Setup(OruResampler32 *r, float inputRate, float outputRate, float tolerance,
                                  uint32_t tapsPerPhase);
/* Input samples a pull of that many outputs reads: 0 when the pending outputs suffice. */
ORU_API uint32_t OruResampler32_InSamples(const OruResampler32 *r, uint32_t outputs);

/* Push: consume ceil(count / step) samples (step below 1 counts as 1), return the outputs written (out NULL:
   computed and dropped). Push and core calls drop outputs the pull interface has not delivered yet. */
ORU_API int32_t OruResampler32_ProcessIn_16_16(OruResampler32 *r, int16_t *out, const int16_t *in, int32_t count,
                                               int32_t step);
ORU_API int32_t OruResampler32_ProcessIn_8_8(OruResampler32 *r, uint8_t *out, const uint8_t *in, int32_t count,
                                             int32_t step);
ORU_API int32_t OruResampler32_ProcessIn_32_32(OruResampler32 *r, int32_t *out, const int32_t *in, int32_t count,
                                               int32_t step);
/* Core: n samples already at InputArea (0 means BufferSize, more than BufferSize is limited to it). */
ORU_API uint32_t OruResampler32_ProcessIn(OruResampler32 *r, int32_t *out, uint32_t n);

/* Pull: write exactly count outputs, reading exactly OruResampler32_InSamples(count) inputs (taken at the start
   of the call) at stride step; surplus outputs stay pending for the next call. in NULL reads silence. */
ORU_API void OruResampler32_ProcessOut_16_16(OruResampler32 *r, int16_t *out, const int16_t *in, int32_t count,
                                             int32_t step);
ORU_API void OruResampler32_ProcessOut_8_8(OruResampler32 *r, uint8_t *out, const uint8_t *in, int32_t count,
                                           int32_t step);

/* ==== end resampler ==== */

/* ==== pixmap ==== */

/* In-memory pixel map laid out like a device-independent bitmap: row 0 first, rows padded to 4 bytes.
   Pixel x of a row: depth 1 = bit x%8 of byte x/8 (least significant first); 4 = byte x/2, low nibble for
   even x; 8 = byte x; 15 and 16 = 16-bit word x; 24 = bytes 3x..3x+2, low byte first; 32 = 32-bit word x.
   Colour values are stored as given (0x00RRGGBB for 24 and 32 bits, palette indices for 1, 4 and 8). */
typedef struct OruDynamicPixMap OruDynamicPixMap;
typedef void (*OruPixMapPixelRoutine)(OruDynamicPixMap *map, int32_t x, int32_t y, uint32_t color);
typedef void (*OruPixMapRowRoutine)(OruDynamicPixMap *map, int32_t x1, int32_t x2, int32_t y, uint32_t color);
typedef void (*OruPixMapColumnRoutine)(OruDynamicPixMap *map, int32_t x, int32_t y1, int32_t y2, uint32_t color);
typedef void (*OruPixMapLineRoutine)(OruDynamicPixMap *map, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                     uint32_t color);
typedef void (*OruPixMapFillRoutine)(OruDynamicPixMap *map, uint32_t color);

/* Routines without "Raw" clip to the image and, when PaletteSize is not 0, draw nothing for a colour at or
   above it. Raw routines and Fill trust their arguments. Spans and rectangles include both ends. */
struct OruDynamicPixMap {
    int32_t Width;                            /* pixels per row */
    int32_t Height;                           /* rows */
    uint32_t BitsPerPixel;                    /* 1, 4, 8, 15, 16, 24 or 32 */
    uint32_t PaletteSize;                     /* 0: every colour is drawn */
    uint32_t *Palette;                        /* 0x00RRGGBB entries; filled by the caller with MemoryAlloc,
                                                 freed by Destruct */
    uint8_t *Pixels;                          /* ImageSize bytes */
    uint32_t ImageSize;                       /* Stride * Height */
    OruPixMapPixelRoutine SetPixel;
    OruPixMapPixelRoutine SetPixelRaw;
    void (*Reserved)(void);                   /* never set */
    OruPixMapRowRoutine LineHorizontalRaw;    /* x1 <= x2 */
    OruPixMapColumnRoutine LineVertical;
    OruPixMapColumnRoutine LineVerticalRaw;   /* y1 <= y2 */
    OruPixMapLineRoutine Line;
    OruPixMapLineRoutine LineRaw;
    OruPixMapFillRoutine Fill;                /* whole image, padding included (24 bits: pixels only) */
    OruPixMapLineRoutine Rectangle;           /* filled, corners inclusive */
    uint32_t Stride;                          /* bytes per row: (Width * BitsPerPixel + 31) / 32 * 4 */
    uint32_t ImageCapacity;                   /* always 0 */
};

/* A new map is 1 x 1 at 32 bits. */
ORU_API OruDynamicPixMap *OruDynamicPixMap_Construct(OruDynamicPixMap *map);
ORU_API void OruDynamicPixMap_Destruct(OruDynamicPixMap *map, uint32_t flags);
/* Resizes the pixel buffer keeping its bytes in place (not cleared, not rearranged) and installs the routines
   of the depth. A depth outside the list, a negative size, an image above 2 GB or a failed allocation leaves
   the map as it was. */
ORU_API void OruDynamicPixMap_FormatUpdate(OruDynamicPixMap *map, int32_t width, int32_t height,
                                           uint32_t bitsPerPixel);
ORU_API void OruDynamicPixMap_Width(OruDynamicPixMap *map, int32_t width);
ORU_API void OruDynamicPixMap_Height(OruDynamicPixMap *map, int32_t height);
/* Accepts 1, 4, 8, 16, 24 and 32 (15 only through FormatUpdate). */
ORU_API void OruDynamicPixMap_BitsPerPixel(OruDynamicPixMap *map, uint32_t bitsPerPixel);
ORU_API void OruDynamicPixMap_LineHorizontal(OruDynamicPixMap *map, int32_t x1, int32_t x2, int32_t y,
                                             uint32_t color);
/* Both swap bytes 0 and 2 (0x00BBGGRR <-> 0x00RRGGBB); the map is not used. */
ORU_API uint32_t OruDynamicPixMap_ColorToPalette(const OruDynamicPixMap *map, uint32_t color);
ORU_API uint32_t OruDynamicPixMap_ColorFromPalette(const OruDynamicPixMap *map, uint32_t color);

/* Per byte: a + (b - a) * multiplier / divisor, truncated toward zero; outside 0..255 gives 255.
   A divisor of 0 returns a. */
ORU_API uint32_t ColorInterpolate(uint32_t a, uint32_t b, int32_t divisor, int32_t multiplier);
/* Per byte: byte * multiplier / divisor; outside 0..255 gives 255. A divisor of 0 returns the colour. */
ORU_API uint32_t ColorPonderate(uint32_t color, int32_t multiplier, int32_t divisor);

/* ==== end pixmap ==== */

/* ==== otherdsp ==== */

/* Automatic gain control. The caller writes the fields directly; there are no setters. */
typedef struct OruAGC {
    double AttackRate;     /* share of the gain error corrected per sample when the gain must fall */
    double ReleaseRate;    /* the same when the gain may rise */
    double EnvelopeCutOff; /* Hz, envelope follower of the mono forms */
    double TargetLevel;    /* envelope level the gain aims for */
    double SamplingRate;   /* Hz */
    double Gain;
    double Envelope;
} OruAGC;

ORU_API OruAGC *OruAGC_Construct(OruAGC *agc);
ORU_API void OruAGC_Destruct(OruAGC *agc, uint32_t flags);
ORU_API void OruAGC_Reset(OruAGC *agc);
/* In place on samples[0], samples[step], ... while the remaining count stays positive. */
ORU_API void OruAGC_Process_Mono16(OruAGC *agc, int16_t *samples, int32_t count, int32_t step);
ORU_API void OruAGC_Process_Mono32(OruAGC *agc, int32_t *samples, int32_t count, int32_t step);
ORU_API void OruAGC_ProcessBuffer_Mono32(OruAGC *agc, int32_t *samples, int32_t count, int32_t step);
/* Two channels as one complex signal: one gain from the instantaneous magnitude. */
ORU_API void OruAGC_Process_Stereo16(OruAGC *agc, int16_t *left, int16_t *right, int32_t count);
ORU_API void OruAGC_Process_Stereo32(OruAGC *agc, int32_t *left, int32_t *right, int32_t count);

/* Bit synchroniser: a DPLL that samples a sliced signal mid-bit, or an edge slicer that reports runs. */
struct OruDataFormatter2;
typedef void (*OruDataFormatterCallback)(void *userData, struct OruDataFormatter2 *formatter, int32_t bitCount,
                                         int32_t bitValue);

typedef struct OruDataFormatter2 {
    OruDataFormatterCallback Callback; /* receives the bits; may be NULL */
    void *UserData;
    double BitRate;       /* bit/s */
    double LoopGain;      /* DPLL pull toward mid-bit per transition */
    double TrackingRate;  /* slicer: relaxation of the extreme trackers per sample */
    double SamplingRate;  /* Hz */
    double SinceLastBit;  /* DPLL: samples since the last sampling instant, with its fraction */
    double NextBit;       /* DPLL: countdown to the next sampling instant */
    int32_t LastSample;
    int32_t Minimum;      /* slicer: tracked extremes of the smoothed difference, 1/256 units */
    int32_t Maximum;
    int32_t SlicerLevel;  /* slicer: latest smoothed difference, 1/256 units */
    int32_t SlicerState;  /* slicer: -1 not yet known, 0 low, 1 high */
    uint32_t Position;       /* slicer: samples seen (wraps) */
    uint32_t LastTransition; /* slicer: Position at the latest switch */
    int32_t Differences[3];  /* slicer: the latest three first differences, newest first */
} OruDataFormatter2;

ORU_API OruDataFormatter2 *OruDataFormatter2_Construct(OruDataFormatter2 *f);
ORU_API void OruDataFormatter2_Destruct(OruDataFormatter2 *f, uint32_t flags);
ORU_API void OruDataFormatter2_Init(OruDataFormatter2 *f);
ORU_API void OruDataFormatter2_DPLL_16(OruDataFormatter2 *f, const int16_t *in, int32_t count, int32_t step);
ORU_API void OruDataFormatter2_DPLL_32(OruDataFormatter2 *f, const int32_t *in, int32_t count, int32_t step);
ORU_API void OruDataFormatter2_Process_16(OruDataFormatter2 *f, const int16_t *in, int32_t mask, int32_t count,
                                          int32_t step);

/* Fixed delay. 16- and 32-bit forms share the structure. */
typedef struct OruDelayLine {
    void *Input;        /* where the next chunk goes for _Process: DelayLine + Delay samples */
    void *OutputBuffer; /* BufferSize samples; the output when the caller gives none */
    void *DelayLine;    /* Delay history samples, then room for BufferSize new ones */
    uint32_t BufferSize;
    uint32_t Delay;
    uint32_t SampleSize; /* bytes: 2 or 4 */
    int32_t (*ResizeRoutine)(struct OruDelayLine *line); /* 0 when the memory could not be had */
    void *Storage;
    uint32_t StorageSize; /* only grows */
} OruDelayLine;
typedef OruDelayLine OruDelayLine16;
typedef OruDelayLine OruDelayLine32;

ORU_API OruDelayLine *OruDelayLine16_Construct(OruDelayLine *line);
ORU_API OruDelayLine *OruDelayLine32_Construct(OruDelayLine *line);
ORU_API void OruDelayLine_Destruct(OruDelayLine *line, uint32_t flags);
ORU_API void OruDelayLine_BufferSize(OruDelayLine *line, int32_t samples);
ORU_API void OruDelayLine_Delay(OruDelayLine *line, int32_t samples);
/* count samples already placed at Input (0 means BufferSize); out NULL means OutputBuffer. */
ORU_API void OruDelayLine16_Process(OruDelayLine *line, int16_t *out, int32_t count);
ORU_API void OruDelayLine32_Process(OruDelayLine *line, int32_t *out, int32_t count);
ORU_API void OruDelayLine16_Process_16_16(OruDelayLine *line, int16_t *out, const int16_t *in, int32_t count,
                                          int32_t step);
ORU_API void OruDelayLine32_Process_32_32(OruDelayLine *line, int32_t *out, const int32_t *in, int32_t count,
                                          int32_t step);

/* Normalised LMS adaptive predictor with Q15 weights. */
typedef struct OruLMS1616 {
    int16_t *DelayInput;   /* where the next chunk goes for _Process: DelayLine + DelaySize + TapsNum */
    int16_t *Weights;      /* TapsNum Q15 weights */
    int16_t *OutputBuffer; /* BufferSize samples; the output when the caller gives none */
    float StepSize;        /* mu */
    float Regularisation;
    float Leakage;         /* lambda: share of every weight dropped per sample */
    uint32_t OutputSelect; /* 0 the prediction, otherwise the error */
    uint32_t BufferSize;
    uint32_t DelaySize;    /* D: the window ends D samples before the predicted one */
    uint32_t TapsNum;      /* T */
    int16_t *DelayLine;    /* D + T history samples, then room for BufferSize new ones */
    int64_t Energy;        /* sum of squares over the current window */
    int32_t (*ResizeRoutine)(struct OruLMS1616 *lms);
    void *Storage;
    uint32_t StorageSize; /* only grows */
} OruLMS1616;

ORU_API OruLMS1616 *OruLMS1616_Construct(OruLMS1616 *lms);
ORU_API void OruLMS_Destruct(OruLMS1616 *lms, uint32_t flags);
ORU_API void OruLMS_BufferSize(OruLMS1616 *lms, int32_t samples);
ORU_API void OruLMS_DelaySize(OruLMS1616 *lms, int32_t samples);
ORU_API void OruLMS_TapsNum(OruLMS1616 *lms, int32_t taps);
/* count samples already placed at DelayInput (0 means BufferSize); out NULL means OutputBuffer. */
ORU_API void OruLMS1616_Process(OruLMS1616 *lms, int16_t *out, int32_t count);
ORU_API void OruLMS1616_Process_16_16(OruLMS1616 *lms, int16_t *out, const int16_t *in, int32_t count,
                                      int32_t step);

/* Second-order IIR notch, in place. The caller writes the first three fields directly. */
typedef struct OruNotchFilter2 {
    float SamplingRate; /* Hz */
    float Frequency;    /* Hz */
    float Bandwidth;    /* Hz */
    float X1, X2;       /* x[n-1], x[n-2] */
    float Y1, Y2;       /* y[n-1], y[n-2] */
} OruNotchFilter2;

ORU_API OruNotchFilter2 *OruNotchFilter2_Construct(OruNotchFilter2 *notch);
ORU_API void OruNotchFilter2_Destruct(OruNotchFilter2 *notch, uint32_t flags);
ORU_API void OruNotchFilter2_Process16(OruNotchFilter2 *notch, int16_t *samples, int32_t count);

/* Two-pole band-pass tone detector: presence is judged by OutputLevel / InputLevel. */
typedef struct OruToneDetector {
    double SamplingRate; /* Hz */
    double Frequency;    /* Hz */
    double Bandwidth;    /* Hz */
    double InputLevel;   /* sum of |x| since the last _Init */
    double OutputLevel;  /* sum of |y| since the last _Init */
    double A2, A1, A0, B1, B2;
    double X2, X1; /* x[n-2], x[n-1] */
    double Y1, Y2; /* y[n-1], y[n-2] */
} OruToneDetector;

ORU_API OruToneDetector *OruToneDetector_Construct(OruToneDetector *t);
ORU_API void OruToneDetector_Destruct(OruToneDetector *t, uint32_t flags);
ORU_API void OruToneDetector_Init(OruToneDetector *t);
ORU_API void OruToneDetector_Update(OruToneDetector *t);
ORU_API void OruToneDetector_Frequency(OruToneDetector *t, double hertz);
ORU_API void OruToneDetector_Bandwidth(OruToneDetector *t, double hertz);
ORU_API void OruToneDetector_SamplingRate(OruToneDetector *t, double hertz);
ORU_API void OruToneDetector_Process_16(OruToneDetector *t, const int16_t *in, int32_t count, int32_t step);
ORU_API void OruToneDetector_Process_double(OruToneDetector *t, const double *in, int32_t count, int32_t step);

/* Block functions. */
/* out[k] = |sum of x[j] * x[j + k]| for k < m, each divided by the largest. */
ORU_API void Correlate_Float_Float(const float *x, float *out, uint32_t n, uint32_t m);
/* count interleaved I/Q pairs; returns the mean of the normalised amplitudes. */
ORU_API float ExtractAmplitude_16_Float(const int16_t *iq, float *out, uint32_t count);
ORU_API void ExtractFrequency_16_Float(const int16_t *iq, float *out, uint32_t count, float samplingRate);

/* Delay-line FSK discriminator: input low-pass, optional first difference, sign of the product with the
   delayed sample (16383 agree, -16384 differ), output low-pass. Members may be set directly (taps, cut-offs,
   OruDelayLine_Delay on DelayLine). */
typedef struct OruFSKDelayDemod16 {
    int32_t (*ResizeRoutine)(struct OruFSKDelayDemod16 *demod);
    int16_t *WorkBuffer;    /* BufferSize samples; the output when the caller gives none */
    int16_t *DelayedBuffer; /* BufferSize samples of the delayed signal */
    uint32_t BufferSize;
    float SamplingRate;     /* Hz */
    uint32_t Differentiate; /* non-zero: (x - previous) / 2 ahead of the delay */
    int32_t Previous;       /* last filtered sample, for the difference */
    OruFIR InputFilter;     /* OruFIR1616 low-pass, 3000 Hz, 31 taps */
    OruDelayLine DelayLine; /* OruDelayLine16, 1 sample */
    OruFIR OutputFilter;    /* OruFIR1616 low-pass, 300 Hz, 63 taps */
    void *Storage;
    uint32_t StorageSize; /* only grows */
} OruFSKDelayDemod16;

ORU_API OruFSKDelayDemod16 *OruFSKDelayDemod16_Construct(OruFSKDelayDemod16 *demod);
ORU_API void OruFSKDelayDemod_Destruct(OruFSKDelayDemod16 *demod, uint32_t flags);
ORU_API void OruFSKDelayDemod16_BufferSize(OruFSKDelayDemod16 *demod, int32_t samples);
ORU_API void OruFSKDelayDemod_SamplingRate(OruFSKDelayDemod16 *demod, float hertz);
/* out NULL leaves the last chunk in WorkBuffer; out may equal in. */
ORU_API void OruFSKDelayDemod16_Process(OruFSKDelayDemod16 *demod, int16_t *out, const int16_t *in, int32_t count,
                                        int32_t step);

/* Frequency shifter (single-sideband mixing with a table oscillator). */
typedef struct OruPitchShift1616 {
    int32_t (*ResizeRoutine)(struct OruPitchShift1616 *shift);
    int16_t *InputBuffer;   /* BufferSize samples each */
    int16_t *HilbertBuffer;
    int16_t *DelayedBuffer;
    int16_t *OutputBuffer;  /* the output when the caller gives none */
    int16_t *Oscillator;    /* SamplingRate entries of (cos, -sin) in Q15 */
    uint32_t OscillatorSize; /* bytes allocated for Oscillator; only grows */
    uint32_t BufferSize;
    int32_t SamplingRate;   /* Hz, also the oscillator table length */
    int32_t Shift;          /* Hz, written directly: the table step per sample; positive moves up */
    uint32_t Position;      /* oscillator table index */
    OruFIR Hilbert;         /* OruFIR1616 type 5, 63 taps */
    OruDelayLine DelayLine; /* OruDelayLine16, (taps - 1) / 2 */
    void *Storage;
    uint32_t StorageSize; /* only grows */
} OruPitchShift1616;

ORU_API OruPitchShift1616 *OruPitchShift1616_Construct(OruPitchShift1616 *shift);
ORU_API void OruPitchShift_Destruct(OruPitchShift1616 *shift, uint32_t flags);
ORU_API void OruPitchShift1616_BufferSize(OruPitchShift1616 *shift, int32_t samples);
ORU_API void OruPitchShift1616_SamplingRate(OruPitchShift1616 *shift, int32_t hertz);
ORU_API void OruPitchShift1616_TapsNum(OruPitchShift1616 *shift, int32_t taps);
/* out NULL leaves the last chunk in OutputBuffer; out may equal in. */
ORU_API void OruPitchShift1616_Process_16_16(OruPitchShift1616 *shift, int16_t *out, const int16_t *in,
                                             int32_t count, int32_t step);

/* Correlative single-tone detector: power of the correlation over ToneLength, then a low-pass. */
struct OruToneDetectorCorr16;
typedef void (*OruToneDetectorCorrKernel)(struct OruToneDetectorCorr16 *t, int16_t *out, uint32_t count);

typedef struct OruToneDetectorCorr16 {
    OruToneDetectorCorrKernel Kernel; /* correlation routine chosen by processor */
    int32_t (*UpdateRoutine)(struct OruToneDetectorCorr16 *t); /* window, tables, layout; 0 when memory is short */
    int16_t *WorkBuffer;  /* BufferSize samples; the output when the caller gives none */
    uint32_t BufferSize;
    float SamplingRate;   /* Hz */
    float ToneLength;     /* s */
    float ToneFrequency;  /* Hz */
    uint32_t WindowLength; /* N = ToneLength * SamplingRate + 0.5 rounded, at least 4 */
    int16_t *CosTable;    /* N reference samples in Q15, zero-padded */
    int16_t *SinTable;
    int16_t *DelayLine;   /* N - 1 history samples, then room for BufferSize new ones */
    int16_t *DelayInput;  /* DelayLine + N - 1 */
    OruFIR Filter;        /* OruFIR1616 low-pass at ToneFrequency / 2 */
    void *Storage;
    uint32_t StorageSize; /* only grows */
} OruToneDetectorCorr16;

ORU_API OruToneDetectorCorr16 *OruToneDetectorCorr16_Construct(OruToneDetectorCorr16 *t);
ORU_API void OruToneDetectorCorr_Destruct(OruToneDetectorCorr16 *t, uint32_t flags);
ORU_API void OruToneDetectorCorr_BufferSize(OruToneDetectorCorr16 *t, int32_t samples);
ORU_API void OruToneDetectorCorr_SamplingRate(OruToneDetectorCorr16 *t, float hertz);
ORU_API void OruToneDetectorCorr_ToneLength(OruToneDetectorCorr16 *t, float seconds);
ORU_API void OruToneDetectorCorr_ToneFrequency(OruToneDetectorCorr16 *t, float hertz);
/* Note the order: in, then out. out NULL leaves the last chunk in WorkBuffer. */
ORU_API void OruToneDetectorCorr16_Process_16_16(OruToneDetectorCorr16 *t, const int16_t *in, int16_t *out,
                                                 int32_t count, int32_t step);

/* Receiver back end: mixer, I/Q decimation, post-mixer low-pass, I/Q AGC, one of five demodulators, audio
   post-processing, stereo 16-bit output at SamplingRate / IQDecimation * AudioUpsample. */
#define ORU_DEMOD_ENVELOPE 0u    /* sqrt(I^2 + Q^2) / sqrt 2 */
#define ORU_DEMOD_SYNCHRONOUS 1u /* envelope through a carrier-tracking loop */
#define ORU_DEMOD_ISB 2u         /* independent sidebands: lower left, upper right */
#define ORU_DEMOD_PRODUCT 3u     /* product detection against ProductFrequency */
#define ORU_DEMOD_FM 4u          /* frequency discriminator */

/* Test points: the right channel carries an internal signal (at the I/Q rate, held) instead of audio. */
#define ORU_DEMOD_TEST_NONE 0u
#define ORU_DEMOD_TEST_I 1u     /* I after the post-mixer filter and the I/Q AGC */
#define ORU_DEMOD_TEST_Q 2u     /* Q likewise */
#define ORU_DEMOD_TEST_AUDIO 3u /* the demodulator's output ahead of the audio post-processing (left for ISB) */

struct OruDemodulator16;
typedef void (*OruDemodulatorRoutine)(struct OruDemodulator16 *d, uint32_t iqSamples);

typedef struct OruDemodulator16 {
    int32_t (*ResizeRoutine)(struct OruDemodulator16 *d); /* lays out the buffers; 0 when memory is short */
    OruDemodulatorRoutine DemodRoutine;                    /* the Mode's routine */
    int16_t *OutputBuffer;      /* interleaved stereo: the last chunk's output when the caller gives none */
    uint32_t BufferSize;        /* largest input chunk, samples */
    float SamplingRate;         /* Hz, input */
    uint32_t Mode;              /* ORU_DEMOD_... */
    float LocalFrequency;       /* Hz, mixer oscillator */
    uint32_t IQDecimation;      /* 1..256 */
    float PostMixerCutOff;      /* Hz; also the limit of the carrier loop's frequency */
    uint32_t PostMixerLength;   /* taps */
    uint32_t ISBFilterLength;   /* taps of the Hilbert transformer */
    float AudioFilterCutOff;    /* Hz */
    uint32_t AudioFilterLength; /* taps */
    uint32_t AudioUpsample;     /* 1..256 */
    uint32_t TestPoint;         /* ORU_DEMOD_TEST_... */
    float ProductFrequency;     /* Hz, mode 3 oscillator; written directly */
    uint32_t IQAGCEnabled;      /* written directly */
    uint32_t AudioAGCEnabled;   /* written directly; modes 0, 1, 3, 4 */
    uint32_t Overload;          /* set when an input sample lies beyond +-31999; the caller clears it */
    uint32_t ClipCount;         /* such samples in the latest call */
    uint32_t LocalPhase;        /* mixer phase, 2^32 per cycle */
    uint32_t ProductPhase;      /* mode 3 phase */
    double LoopPhase;           /* mode 1, radians */
    double LoopFrequency;       /* mode 1, radians per I/Q sample */
    double DCState[4];          /* mode 2 DC blocks: left x[n-1], y[n-1], right x[n-1], y[n-1] */
    double PreviousI, PreviousQ; /* mode 4 */
    uint32_t Pending;           /* mixed samples waiting for a whole decimation period */
    int16_t *MixI, *MixQ;       /* mixer output, input rate */
    int32_t *BasebandI, *BasebandQ; /* post-mixer output, I/Q rate, scaled by 65536 */
    int32_t *HilbertI, *DelayedQ;   /* mode 2 */
    int16_t *AudioLeft, *AudioRight, *TestSignal; /* I/Q rate */
    int16_t *UpLeft, *UpRight;  /* output rate */
    OruFIR PostMixerI, PostMixerQ; /* OruFIR1632 low-pass */
    OruFIR ISBFilter;           /* OruFIR1632 type 5 */
    OruDelayLine ISBDelay;      /* OruDelayLine32, (ISBFilterLength - 1) / 2 */
    OruAGC IQAGC;               /* stereo form on I/Q */
    OruAGC AudioAGC;            /* mono form on the audio */
    OruFIR HighPass;            /* OruFIR1616 type 2, 31 taps, 300 Hz, I/Q rate */
    OruFIR AudioFilterLeft, AudioFilterRight; /* OruFIR1616 low-pass, output rate */
    void *Storage;
    uint32_t StorageSize; /* only grows */
    uint32_t LayoutBufferSize, LayoutDecimation, LayoutUpsample; /* what the buffers were laid out for */
} OruDemodulator16;

ORU_API OruDemodulator16 *OruDemodulator16_Construct(OruDemodulator16 *d);
ORU_API void OruDemodulator_Destruct(OruDemodulator16 *d, uint32_t flags);
ORU_API void OruDemodulator_BufferSize(OruDemodulator16 *d, int32_t samples);
ORU_API void OruDemodulator_SamplingRate(OruDemodulator16 *d, float hertz);
ORU_API void OruDemodulator_Mode(OruDemodulator16 *d, uint32_t mode);
ORU_API void OruDemodulator_LocalFrequency(OruDemodulator16 *d, float hertz);
ORU_API void OruDemodulator_IQDecimation(OruDemodulator16 *d, int32_t factor);
ORU_API void OruDemodulator_PostMixerCutOff(OruDemodulator16 *d, float hertz);
ORU_API void OruDemodulator_PostMixerLength(OruDemodulator16 *d, int32_t taps);
ORU_API void OruDemodulator_ISBFilterLength(OruDemodulator16 *d, int32_t taps);
ORU_API void OruDemodulator_AudioFilterCutOff(OruDemodulator16 *d, float hertz);
ORU_API void OruDemodulator_AudioFilterLength(OruDemodulator16 *d, int32_t taps);
ORU_API void OruDemodulator_AudioUpsample(OruDemodulator16 *d, int32_t factor);
/* Applies rates, cut-offs and lengths to every member filter. */
ORU_API void OruDemodulator_DemodFiltersUpdate(OruDemodulator16 *d);
ORU_API void OruDemodulator16_TestPoint(OruDemodulator16 *d, uint32_t point);
/* Returns the stereo frames written to out (out NULL: those of the last chunk, in OutputBuffer). out needs
   room for (count / step / IQDecimation + 1) * AudioUpsample frames. */
ORU_API int32_t OruDemodulator16_Process_StereoOut_16_16(OruDemodulator16 *d, int16_t *out, const int16_t *in,
                                                         int32_t count, int32_t step);

/* ==== end otherdsp ==== */

#endif
