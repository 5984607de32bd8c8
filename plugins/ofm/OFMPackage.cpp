// The form-file package: one file type for text form files.
#include <cstring>
#include <memory>

#include "OFMFormat.h"
#include "OFMImages.h"

namespace {

struct TOFMNotesTraits {
  static constexpr const char16_t* DataType = u"x-hlx-form";
};
using TOFMNotesFile = TQEMKitNotesFile<TOFMNotesTraits>;

const TQEMNotesFileClassOf<TOFMNotesFile> OFMNotesClass;
// Egg patterns of form files are the values "<Status>.Form" of the EggFormat key; the type's own
// settings (the exclusion list) live below "<base key>\Translators\Form".
const TQEMKitTypeInfo OFMInfo{u"Form", u".ofm;.xfm;.lfm",    u"Text form files",
                              u"Form", u"Translators\\Form", u"14.0"};

std::unique_ptr<TQEMKitPackage> Package;

} // namespace

QEM_KIT_EXPORT void QEMPackageInitialize(void* Module) {
  Package = std::make_unique<TQEMKitPackage>();
  Package->AddType(Module, std::make_shared<TOFMFormat>(OFMInfo.SubKey), OFMNotesClass, OFMInfo);
}

QEM_KIT_EXPORT void QEMPackageFinalize() {
  Package.reset();
}

QEM_KIT_EXPORT const void* QEMPackageResource(const char* Name, size_t* Size) {
  const unsigned char* data = nullptr;
  size_t size = 0;
  if (Name && std::strcmp(Name, "FILEBITMAP") == 0)
    data = OFMFileBitmap, size = sizeof(OFMFileBitmap);
  else if (Name && std::strcmp(Name, "KINDBITMAP") == 0)
    data = OFMKindBitmap, size = sizeof(OFMKindBitmap);
  if (Size) *Size = size;
  return data;
}
