#pragma once
// Marks the public API of Lumadata; everything else stays inside the library.
#if defined(LUMADATA_BUILDING)
#define LUMADATA_API __attribute__((visibility("default")))
#else
#define LUMADATA_API
#endif
