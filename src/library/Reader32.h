// Reader of the group icons of PE executables and DLLs (32- and 64-bit).
#pragma once

#include "base/FileIO.h"
#include "library/IconLibrary.h"
#include "library/PEResources.h"

#include <memory>

namespace pictavo {

class T32BitReader : public TICLReader {
public:
    using TICLReader::TICLReader;
    // Maps the file and reads every group icon, named after its resource name, in directory
    // order. False when the file cannot be mapped or is not a PE image.
    bool ReadIcons() override;

private:
    void AddResourceIcon(const TResourceName& Name);

    std::unique_ptr<TMappedFile> FModule;
    TPEResourceReader FResources;
    bool FLoaded = false;
};

}  // namespace pictavo
