// The package entry points of hlxtest.fpl; with HLX_EMPTY_PACKAGE a package that registers
// nothing, with HLX_NO_INIT a library that is no package at all, with HLX_OTHER_CONTRACT the
// full package built for a contract this library does not provide (with HLX_UNBOUND also calling
// a function this library does not have, as such a package would).
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "HLXLines.h"
#include "translator/QEMPackages.h"

#define HLX_EXPORT QEM_PACKAGE_EXPORT

#if defined(HLX_OTHER_CONTRACT)
HLX_EXPORT const uint32_t QEMPackageContractVersion = QEMPackageContract + 1;
#if defined(HLX_UNBOUND)
extern "C" void QEMNoLongerThere();
#endif
#elif !defined(HLX_NO_INIT)
QEM_DECLARE_PACKAGE_CONTRACT();
#endif

#if defined(HLX_NO_INIT)
HLX_EXPORT int HLXNotAPackage() {
  return 1;
}
#elif defined(HLX_EMPTY_PACKAGE)
HLX_EXPORT void QEMPackageInitialize(void*) {}
HLX_EXPORT void QEMPackageFinalize() {}
#else

namespace {

std::unique_ptr<hlxtest::TLinesTranslator> gTranslator;
IQEMFileTypePtr gFileType;

// A 2x1 24-bit bitmap: magenta (transparent) and a dark blue.
constexpr unsigned char Bitmap[] = {
    'B', 'M', 62,  0,   0, 0, 0, 0, 0, 0, 54, 0, 0, 0,                                // file header
    40,  0,   0,   0,   2, 0, 0, 0, 1, 0, 0,  0, 1, 0, 24, 0, 0, 0, 0, 0, 8, 0, 0, 0, // info header
    0,   0,   0,   0,   0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0,  0,                         //
    255, 0,   255, 128, 0, 0, 0, 0}; // one padded row

} // namespace

HLX_EXPORT void QEMPackageInitialize(void* Module) {
#if defined(HLX_UNBOUND)
  QEMNoLongerThere();
#endif
  gTranslator = std::make_unique<hlxtest::TLinesTranslator>();
  gTranslator->SetTranslatorSubKey(u"HLXLines");
  gFileType = std::make_shared<hlxtest::TLinesFileType>(gTranslator.get(), Module,
                                                        std::make_shared<hlxtest::TLinesUpdater>());
  gTranslator->SetQEMFileType(gFileType.get());
  RegisterQEMFileType(gFileType);
}

HLX_EXPORT void QEMPackageFinalize() {
  if (gFileType && QEMFileTypesStarted()) UnRegisterQEMFileType(gFileType);
  gFileType.reset();
  gTranslator.reset();
}

HLX_EXPORT const void* QEMPackageResource(const char* Name, size_t* Size) {
  if (std::strcmp(Name, "FILEBITMAP") != 0 && std::strcmp(Name, "KINDBITMAP") != 0) return nullptr;
  *Size = sizeof(Bitmap);
  return Bitmap;
}

#endif
