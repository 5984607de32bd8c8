#pragma once
// The workspace tree's image list over Qt: the file types' images (and their tinted variants)
// as icons, with the globe of the language nodes at index 0.
#include <QIcon>
#include <QImage>
#include <vector>

#include "translator/QEMFileTypes.h"

class TQEMQtImageList : public IQEMImageList {
public:
  int Add(const TQEMImage& Image, uint32_t MaskColor) override;
  void Replace(int Index, const TQEMImage& Image, uint32_t MaskColor) override;
  int Count() const override { return int(FImages.size()); }
  const TQEMImage& Image(int Index) const override;

  // A null icon for an index outside the list (-1: no image).
  QIcon Icon(int Index) const;

  // Pixels equal to MaskColor become transparent.
  static QImage ToQImage(const TQEMImage& Image, uint32_t MaskColor);

private:
  struct TEntry {
    TQEMImage Image;
    QIcon Icon;
  };
  std::vector<TEntry> FImages;
};

// The 16x16 globe of the language nodes, on a mask colour at its corners.
TQEMImage QEMGlobeImage();
