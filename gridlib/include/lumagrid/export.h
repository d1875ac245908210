#pragma once
// Marks the public API of Lumagrid; everything else stays inside the library. On Windows the
// API is exported from the DLL and imported by its users through the import library.
#if defined(_WIN32)
#if defined(LUMAGRID_BUILDING)
#define LUMAGRID_API __declspec(dllexport)
#else
#define LUMAGRID_API __declspec(dllimport)
#endif
#elif defined(LUMAGRID_BUILDING)
#define LUMAGRID_API __attribute__((visibility("default")))
#else
#define LUMAGRID_API
#endif
