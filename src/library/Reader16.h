// Reader of the icons of 16-bit (NE) executables and DLLs and of .icl icon libraries.
#pragma once

#include "base/ByteReader.h"
#include "base/ByteSource.h"
#include "base/FileIO.h"
#include "library/IconLibrary.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace pictavo {

// An icon read from an NE file; Name is its generated name, "<module> 001" and so on.
class TICL16Icon : public TAdvancedIcon {
public:
    std::unique_ptr<TAdvancedIcon> Create() const override { return std::make_unique<TICL16Icon>(); }
    std::string Name;
};

// An image read from an NE file. The buffer may be longer than the entry's bytes-in-resource
// (it is the aligned resource length) but is never shorter than what the image claims.
class TICL16IconImage : public TIconImage {
public:
    TICL16IconImage(const TIconEntryInfo& Entry, std::vector<uint8_t> Data);
    // Over the bytes of a file read whole: Length bytes of it from Offset.
    TICL16IconImage(const TIconEntryInfo& Entry, std::shared_ptr<const TByteBuffer> File, size_t Offset, size_t Length);
};

// One resource record of the NE resource table.
struct TNEResourceRecord {
    uint16_t Position = 0;  // in units of 2^shift bytes from the start of the file
    uint16_t Length = 0;    // in units of 2^shift bytes
    uint16_t Flags = 0;
    uint16_t Id = 0;  // bit 15: an integer identifier in the low 15 bits
};

class T16BitReader : public TICLReader {
public:
    // Opens the file; raises EFOpenError when it cannot be opened.
    explicit T16BitReader(std::string FileName);
    // Reads bytes already in memory; FileName only names them (and the generated icon names).
    // The bytes must outlive the reader.
    T16BitReader(std::string FileName, std::span<const uint8_t> Bytes);
    // Reads a file's bytes read whole; the images share them.
    T16BitReader(std::string FileName, std::shared_ptr<const TByteBuffer> File);
    // Reads every group icon; false on any error (nothing is reported).
    bool ReadIcons() override;
    // Why the last ReadIcons returned false (empty after a successful read).
    const std::string& LastError() const { return FLastError.Local; }
    const TMessage& LastErrorMessage() const { return FLastError; }

    // The number of group-icon records of an NE file's resource table, reading the headers and
    // the table only; 0 when the bytes are not such a file.
    static int CountGroupIcons(const TByteSource& File);

    // Where the images of an NE file's first group icon lie, reading the headers, the resource
    // table and that group only; empty when the group's header is not an icon header. Raises
    // what ReadIcons fails with (EICLReadError, EReadError) for the headers, the table, the
    // group and the icons it names.
    static std::vector<TImageRange> FirstGroupImages(const TByteSource& File);

private:
    // Reads through a source without reading it whole: for FirstGroupImages only.
    explicit T16BitReader(const TByteSource& Source);
    void ReadNEHeader();
    void ReadResourceTable();
    // The icon names of the resource-name strings, one per group record in order; empty when
    // they do not name every group (the groups then get generated names).
    std::vector<std::string> ReadNames();
    size_t FindEntry(uint16_t Id);
    void LoadGroup(TICL16Icon& Icon, size_t Index);
    // The file's bytes as one shared buffer that images are cut from; a copy is made once
    // when the bytes are not held in such a buffer already.
    const std::shared_ptr<const TByteBuffer>& SharedBytes();

    std::unique_ptr<TFileBytes> FFile;
    std::span<const uint8_t> FBytes;
    std::shared_ptr<const TByteBuffer> FShared;
    ByteCursor FCursor;
    uint16_t FAlignShift = 0;
    uint16_t FHeaderOffset = 0;
    uint32_t FResTableOffset = 0;
    uint32_t FNamesOffset = 0;
    std::string FModuleName;
    TMessage FLastError;
    std::optional<std::vector<TNEResourceRecord>> FIconEntries;
    std::optional<std::vector<TNEResourceRecord>> FGroupEntries;
    // Offsets (from the resource table) of the strings that name a type, or a resource of a
    // type other than the group icon: such strings are never icon names.
    std::vector<uint16_t> FOtherNames;
    // Image objects made by this read, against kMaxImagesPerFile.
    uint32_t FImagesMade = 0;
    // Icon identifier -> index of the first icon record with it, made on first look-up.
    std::unordered_map<uint16_t, size_t> FIconIndex;
};

}  // namespace pictavo
