#pragma once
// Marks the public API of Lumadata; everything else stays inside the library. On Windows the
// API is exported from the DLL and imported by its users through the import library.
#if defined(_WIN32)
#if defined(LUMADATA_BUILDING)
#define LUMADATA_API __declspec(dllexport)
#else
#define LUMADATA_API __declspec(dllimport)
#endif
#elif defined(LUMADATA_BUILDING)
#define LUMADATA_API __attribute__((visibility("default")))
#else
#define LUMADATA_API
#endif
