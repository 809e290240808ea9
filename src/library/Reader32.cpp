#include "library/Reader32.h"

#include "icons/IconTypes.h"

namespace pictavo {

bool T32BitReader::Open() {
    if (FOpened) return *FOpened;
    if (FInMemory) {
        FOpened = FResources.Open(FBytes);
    } else if (FSource) {
        FOpened = FResources.Open(*FSource);
    } else {
        try {
            FFile = std::make_unique<TFileSource>(FFileName);
        } catch (const EFOpenError&) {
            return false;
        }
        FOpened = FFile->Valid() && FResources.Open(*FFile);
    }
    return *FOpened;
}

size_t T32BitReader::GroupCount() const { return FResources.CountNames(RT_GROUP_ICON); }

bool T32BitReader::ReadIcons() {
    if (!Open()) return false;
    FLoaded = true;
    const TByteSource* file = FSource ? FSource : FFile.get();
    for (const TResourceName& name : FResources.Names(RT_GROUP_ICON)) {
        if (file) file->CheckCancelled();
        AddResourceIcon(name);
    }
    return true;
}

void T32BitReader::AddResourceIcon(const TResourceName& Name) {
    auto icon = std::make_unique<TAdvancedIcon>();
    // A group whose header is not an icon header still gives an (empty) entry.
    icon->LoadFromResource(FResources, Name);
    FIcons.AddIcon(Name.Display(), std::move(icon));
}

}  // namespace pictavo
