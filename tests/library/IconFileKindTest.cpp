#include "base/ByteReader.h"
#include "base/ByteSource.h"
#include "library/ExeFormat.h"
#include "library/IconLoading.h"

#include <gtest/gtest.h>

#include <vector>

using namespace pictavo;

namespace {

// "MZ" with the new header at 64 carrying the given signature word.
std::vector<uint8_t> Executable(uint16_t signature) {
    std::vector<uint8_t> b(exe::kDosHeaderSize + 4, 0);
    PutU16le(&b[0], exe::kDosSignature);
    PutU16le(&b[exe::kDosNewHeaderField], static_cast<uint16_t>(exe::kDosHeaderSize));
    PutU16le(&b[exe::kDosHeaderSize], signature);
    return b;
}

TEST(IconFileKind, TellsIcoPeNeAndNoneFromTheFirstBytes) {
    struct Case {
        std::vector<uint8_t> Bytes;
        TIconFileKind Kind;
    };
    const Case cases[] = {
        {{0, 0, 1, 0, 0, 0}, TIconFileKind::Ico},
        {{0, 0, 2, 0, 1, 0}, TIconFileKind::None},  // a cursor file
        {{0, 0}, TIconFileKind::None},
        {Executable(exe::kPESignatureWord), TIconFileKind::PE},
        {Executable(exe::kNESignature), TIconFileKind::NE},
        {Executable(0x454C), TIconFileKind::None},  // "LE"
        {{'M', 'Z'}, TIconFileKind::None},          // no new-header field
        {{}, TIconFileKind::None},
    };
    for (const Case& c : cases) {
        const TSpanSource source(c.Bytes);
        EXPECT_EQ(IconFileKind(source), c.Kind) << c.Bytes.size() << " bytes";
    }
}

}  // namespace
