#pragma once
// libqem is built with hidden visibility; what packages, tools and tests use is marked QEM_API.
//
// Consumers are built with hidden visibility too (packages should export nothing but their
// entry points), so they must see the same attribute: a class they take for hidden gets its own
// copy of the type information, and then an EQEMError thrown by libqem is not caught as one and
// dynamic_cast across the library fails. Hence one definition for both sides.
#if defined(__GNUC__)
#define QEM_VISIBLE __attribute__((visibility("default")))
#else
#define QEM_VISIBLE
#endif

#define QEM_API QEM_VISIBLE

// The C entry points a translator package exports (QEMPackageInitialize, QEMPackageFinalize,
// QEMPackageResource, QEMPackageContractVersion).
#define QEM_PACKAGE_EXPORT extern "C" QEM_VISIBLE
