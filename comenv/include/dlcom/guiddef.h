// Identifier record, result codes and count types of the component model.
//
// Contract: `_ZQGUID` (`ZQGUID`, `ZQIID`) is a plain value record shared
// unchanged with separately compiled plug-in libraries: its size, field order
// and field offsets are fixed and checked below. Records are compared field by
// field (`operator==`, `ZQIsEqualGUID`); `GUID_NULL` is the all-zero record.
// `HRESULT` is a 64-bit signed long. `S_OK` (0) is the only success code the
// kit tests for; the failure codes are 32-bit patterns stored zero-extended,
// so they are POSITIVE in this type (`E_NOINTERFACE` == 2147500034) and a
// failure can never be recognised by its sign: compare with `S_OK`.
//
// Everything here is constexpr data or inline code: nothing to link, nothing
// to initialise, safe to use from any thread and from static initialisers.
//
// Visibility: the kit and plug-ins may be built with -fvisibility=hidden.
// `DLCOM_API` gives the interface classes of the component model default
// visibility, so their type information is one per process whichever library
// instantiated it; the inline code itself carries no symbol anyone links to.

#ifndef DLCOM_GUIDDEF_H_
#define DLCOM_GUIDDEF_H_

#include <cstddef>

// Marks the component model's declarations as visible outside a library
// built with hidden visibility.
#if defined(__GNUC__) || defined(__clang__)
#define DLCOM_API __attribute__((visibility("default")))
#else
#define DLCOM_API
#endif

// Result of a component operation: `S_OK`, or a failure code (positive, see
// below).
typedef long HRESULT;
// Reference counts.
typedef unsigned long ULONG;
// Boolean of the framework's interfaces.
typedef int BOOL;

#ifndef TRUE
// BOOL true.
#define TRUE 1
#endif
#ifndef FALSE
// BOOL false.
#define FALSE 0
#endif

// Success.
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
// Failures: 32-bit patterns, zero-extended (positive values).
inline constexpr HRESULT E_NOTIMPL = 0x80004001L;
inline constexpr HRESULT E_NOINTERFACE = 0x80004002L;
inline constexpr HRESULT E_POINTER = 0x80004003L;
inline constexpr HRESULT E_FAIL = 0x80004005L;
inline constexpr HRESULT E_UNEXPECTED = 0x8000FFFFL;
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = 0x80040111L;
inline constexpr HRESULT E_OUTOFMEMORY = 0x8007000EL;
inline constexpr HRESULT E_INVALIDARG = 0x80070057L;

// A 128-bit interface or class id, as the text "{XXXXXXXX-XXXX-...}" spells
// it group by group.
struct _ZQGUID {
  unsigned long ZQData1;     // only the low 32 bits are ever set
  unsigned short ZQData2;    // second group
  unsigned short ZQData3;    // third group
  unsigned char ZQData4[8];  // fourth group (2 bytes), then fifth (6 bytes)
};
// A class id.
typedef _ZQGUID ZQGUID;
// An interface id.
typedef _ZQGUID ZQIID;

// The record and the result type are shared with separately compiled
// libraries: their layout must never change.
static_assert(sizeof(HRESULT) == 8, "HRESULT is a 64-bit signed long");
static_assert(sizeof(ULONG) == 8, "ULONG is a 64-bit unsigned long");
static_assert(sizeof(_ZQGUID) == 24, "_ZQGUID layout is shared ABI");
static_assert(offsetof(_ZQGUID, ZQData1) == 0, "_ZQGUID layout is shared ABI");
static_assert(offsetof(_ZQGUID, ZQData2) == 8, "_ZQGUID layout is shared ABI");
static_assert(offsetof(_ZQGUID, ZQData3) == 10, "_ZQGUID layout is shared ABI");
static_assert(offsetof(_ZQGUID, ZQData4) == 12, "_ZQGUID layout is shared ABI");
static_assert(E_NOINTERFACE == 2147500034L && E_NOINTERFACE > 0,
              "failure codes are stored zero-extended");

// Equal when every field is.
constexpr bool operator==(const _ZQGUID& a, const _ZQGUID& b) {
  if (a.ZQData1 != b.ZQData1 || a.ZQData2 != b.ZQData2 ||
      a.ZQData3 != b.ZQData3) {
    return false;
  }
  for (int i = 0; i < 8; ++i) {
    if (a.ZQData4[i] != b.ZQData4[i])
      return false;
  }
  return true;
}

// Not operator==.
constexpr bool operator!=(const _ZQGUID& a, const _ZQGUID& b) {
  return !(a == b);
}

// Non-zero when the two records are equal.
constexpr int ZQIsEqualGUID(const _ZQGUID& rguid1, const _ZQGUID& rguid2) {
  return rguid1 == rguid2 ? 1 : 0;
}

// The all-zero id, which names no class or interface.
inline constexpr ZQGUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

#endif  // DLCOM_GUIDDEF_H_
