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
    // Reads bytes already in memory; FileName only names them. The bytes must outlive the reader.
    T32BitReader(std::string FileName, std::span<const uint8_t> Bytes)
        : TICLReader(std::move(FileName)), FBytes(Bytes), FInMemory(true) {}
    // Maps the file and reads every group icon, named after its resource name, in directory
    // order. False when the file cannot be mapped or is not a PE image.
    bool ReadIcons() override;

private:
    void AddResourceIcon(const TResourceName& Name);

    std::unique_ptr<TMappedFile> FModule;
    std::span<const uint8_t> FBytes;
    bool FInMemory = false;
    TPEResourceReader FResources;
    bool FLoaded = false;
};

}  // namespace pictavo
