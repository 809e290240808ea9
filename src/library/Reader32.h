// Reader of the group icons of PE executables and DLLs (32- and 64-bit).
#pragma once

#include "base/ByteSource.h"
#include "library/IconLibrary.h"
#include "library/PEResources.h"

#include <memory>
#include <optional>

namespace pictavo {

class T32BitReader : public TICLReader {
public:
    using TICLReader::TICLReader;
    // Reads bytes already in memory; FileName only names them. The bytes must outlive the reader.
    T32BitReader(std::string FileName, std::span<const uint8_t> Bytes)
        : TICLReader(std::move(FileName)), FBytes(Bytes), FInMemory(true) {}
    // Reads a file already open; FileName only names it. The source must outlive the reader.
    T32BitReader(std::string FileName, const TByteSource& Source) : TICLReader(std::move(FileName)), FSource(&Source) {}
    // Parses the headers (once, however often it is called); false when the file cannot be
    // read or is not a PE image.
    bool Open();
    // The group icons the resource directory lists, after a successful Open.
    size_t GroupCount() const;
    // Reads every group icon, named after its resource name, in directory order: the headers
    // and tables in pages, each image's bytes once however many images name them. False when
    // the file cannot be read or is not a PE image. Raises what reading a group raises
    // (EResNotFound, EReadError, RaiseTooManyImages()); the icons read before stay in Icons.
    bool ReadIcons() override;

private:
    void AddResourceIcon(const TResourceName& Name);

    std::unique_ptr<TFileSource> FFile;
    const TByteSource* FSource = nullptr;
    std::optional<bool> FOpened;
    std::span<const uint8_t> FBytes;
    bool FInMemory = false;
    TPEResourceReader FResources;
    bool FLoaded = false;
};

}  // namespace pictavo
