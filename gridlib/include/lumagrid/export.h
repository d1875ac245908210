#pragma once
// Marks the public API of Lumagrid; everything else stays inside the library.
#if defined(LUMAGRID_BUILDING)
#define LUMAGRID_API __attribute__((visibility("default")))
#else
#define LUMAGRID_API
#endif
