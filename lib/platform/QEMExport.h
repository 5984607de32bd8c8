#pragma once
// libqem is built with hidden visibility; what packages, tools and tests use is marked QEM_API.
#if defined(QEM_BUILDING_LIBRARY)
#define QEM_API __attribute__((visibility("default")))
#else
#define QEM_API __attribute__((visibility("default")))
#endif
